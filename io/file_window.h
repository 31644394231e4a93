// A window onto a larger file: the bytes [start, start + length) of an inner
// file shown as a whole, read-only file. The library reads the sections of
// its own file through windows.
#pragma once

#include <cstdint>

#include "core/abort_signal.h"
#include "io/file_object.h"

namespace vantrel_io {

// Seeks the inner file to `start` and keeps a reference to it. A window that
// would end past 2^64 is "Overflow". Reads never cross the window's end;
// positions are checked against the inner file, so seeking past the window's
// end is allowed while the inner file is long enough, and reading there
// gives nothing.
void open_file_window(file_ptr& out, const file_ptr& inner, std::uint64_t start, std::uint64_t length,
                      const abort_signal& abort);

}  // namespace vantrel_io
