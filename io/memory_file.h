// A file that lives only in memory: the scratch stream behind "tempmem://".
// Sizes and positions are 32-bit (a memory file never reaches 4 GiB in a
// 32-bit process); the file interface widens them to 64 bits.
#pragma once

#include "io/file_object.h"

namespace vantrel_io {

// A new, empty memory file at position 0.
file_ptr make_memory_file();

}  // namespace vantrel_io
