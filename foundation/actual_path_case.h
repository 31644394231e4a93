// A path spelled the way the file system stores it, so that two spellings of
// one file ("c:\music\a.mp3", "C:\Music\A.mp3") become one text that can be
// compared byte by byte.
#pragma once

#include "foundation/string_object.h"

// Takes a full path: a drive path ("X:\...") or a UNC path ("\\server\share\...").
// The drive letter becomes upper case, the server and share lower case (no
// file system stores a case for them), and every further component the name
// found on disk; from the first component that is not found on, the path is
// kept as given. False, and the output unchanged, for a relative or
// malformed path.
bool get_actual_path_case(const char* path, qiv::string_object& output);
