// The texts the user sees, looked up by id in the current language's table.
// A missing id gives the empty text.
#pragma once

#include "foundation/string_object.h"

namespace localized_text {

// Sets `output` to the text of `id`; false (and the empty text) when the
// table has no such id.
bool get(const char* id, qiv::string_object& output);

// Filled by the language loader; replaces the text of an id.
void set(const char* id, const char* text);
void clear();

}  // namespace localized_text
