// GUID constants written as text in the source, such as window-class names
// and registry identifiers.
#pragma once

#include <guiddef.h>

namespace qiv {

// Reads "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; the braces and dashes are
// optional and digits of either case are accepted. The text is trusted (a
// constant of the program): a character that is not a hexadecimal digit reads
// as 0, and fields that a too short text does not reach stay 0.
GUID guid_from_string(const char* text);

} // namespace qiv
