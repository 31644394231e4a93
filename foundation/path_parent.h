// The parent of a path or location, keeping the separator that belongs to a
// drive or scheme prefix ("C:\", "file://").
#pragma once

#include "foundation/string_buffer.h"

namespace qiv {

// The path up to its last separator (backslash, "/" or "|"). When that
// separator ends a prefix (it follows ":", a separator or another character
// that cannot be in a name), it is kept, and a path that is only such a prefix
// has no parent. No separator at all: no parent. "No parent" is the empty text.
string_buffer path_parent(const char* path);

} // namespace qiv
