// Copying bytes between files and streams.
#pragma once

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"

namespace vantrel_io {

// Copies up to `bytes` bytes from the reader's position; answers how many
// there were (fewer only when the source ends).
std::uint64_t copy_stream(reader& source, writer& destination, std::uint64_t bytes, const abort_signal& abort);
// copy_stream; a source that ends early is exception_io_data.
void copy_exact(reader& source, writer& destination, std::uint64_t bytes, const abort_signal& abort);
// copy_exact between files; a destination that must grow for a long copy is
// extended once first instead of by every write.
void copy_bytes(file_object& source, file_object& destination, std::uint64_t bytes, const abort_signal& abort);

// The `length` bytes at `offset`, read whole; a range of 4 GiB or more, or
// one the file does not hold, is exception_io_data.
std::vector<std::uint8_t> read_range(file_object& file, std::uint64_t offset, std::uint64_t length,
                                     const abort_signal& abort);

// Makes the destination a copy of the source. A destination that must grow
// is grown first, so that a full disk fails the copy before any byte
// changes; it is overwritten from its start and cut to the source's size
// only at the end, and once its first byte changes the copy no longer stops
// for the abort signal: a failure or a cancellation never leaves an emptied
// or half-old destination behind for a reason the copy itself could have
// avoided.
void copy_whole_file(file_object& source, file_object& destination, const abort_signal& abort);

}  // namespace vantrel_io
