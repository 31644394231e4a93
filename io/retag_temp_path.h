// The name of the temporary file a tagged file is rewritten into: beside the
// target (so on the same volume, and the final move is a rename), and the
// same on every call for one file however its folder is spelled, so that a
// later rewrite of that file finds what a killed one left.
#pragma once

#include "foundation/string_object.h"

namespace vantrel_io {

// The target's folder part (up to and including its last '\', '/', '|' or
// ':'), then "temp-", 32 hexadecimal digits of an MD5 digest of the target's
// file name in upper case (names differing in case name one file) salted
// with texts of this use, and ".tmp". Only this program names a file so for
// that target, which is what lets a rewrite remove such a file. A failure
// of the system's digest is exception_win32.
void make_retag_temp_path(const char* target, qiv::string_object& out);

}  // namespace vantrel_io
