// Failed Windows Media runtime calls become exception_io at once, named by
// the operation so that a user's report says which step refused the file.
#pragma once

#include <windows.h>

#include <string>

namespace wma {

// The runtime's own wording for the codes users meet, else the system's text
// for the code, else "Unknown error code".
std::string error_text(HRESULT result);

// A negative result throws exception_io: "<operation> failed : <text>", or
// the text alone when `operation` is null.
void check(HRESULT result, const char* operation);

}  // namespace wma
