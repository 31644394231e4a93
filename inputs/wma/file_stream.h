// A COM stream over one of the player's open files, which is how the
// runtime's reader is handed the file: any file the player can open plays,
// not only paths the runtime could open itself. Read-only: the reader never
// writes.
#pragma once

#include <objidl.h>

#include "io/file_object.h"

namespace wma {

// A new stream with one reference, holding a reference to `file`.
IStream* make_file_stream(vantrel_io::file_ptr file);

}  // namespace wma
