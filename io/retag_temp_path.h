// The name of the temporary file a tagged file is rewritten into: beside the
// target (so on the same volume, and the final move is a rename), and the
// same on every call for one target, so a leftover from an interrupted
// rewrite is reused rather than piling up.
#pragma once

#include "foundation/string_object.h"

namespace vantrel_io {

// The target's folder part (up to and including its last '\', '/', '|' or
// ':'), then "temp-", 32 hexadecimal digits of an MD5 digest of the target
// path, and ".tmp". A failure of the system's digest is exception_win32.
void make_retag_temp_path(const char* target, qiv::string_object& out);

}  // namespace vantrel_io
