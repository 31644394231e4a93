// Overwriting part of a file in place so that a process killed at any moment
// leaves either the old bytes or the new ones: only the span from the first
// to the last byte that differs is written, and with a single write, so no
// state between two of our writes is ever seen on disk.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/abort_signal.h"
#include "io/file_object.h"

namespace vantrel_io {

// Replaces the `size` bytes at `offset` (which must lie inside the file) by
// `bytes`. The abort signal is honoured only before the write starts; false
// when the file already held these bytes.
bool overwrite_changed_bytes(file_object& file, std::uint64_t offset, const std::uint8_t* bytes, std::size_t size,
                             const abort_signal& abort);

// The same, for a caller that holds the span's present bytes in `old_bytes`
// (read from this file while it held the file without sharing): nothing is
// read again.
bool overwrite_changed_bytes(file_object& file, std::uint64_t offset, const std::uint8_t* old_bytes,
                             const std::uint8_t* bytes, std::size_t size, const abort_signal& abort);

}  // namespace vantrel_io
