// Overwriting part of a file in place so that a process killed at any moment
// leaves either the old bytes or the new ones. The system puts a write down
// whole only while it lies within one aligned page: a killed process's
// longer write can stop at any page boundary inside it. So only the span
// from the first to the last byte that differs is written, with a single
// write, and only when that span lies within one page; a change that does
// not goes through a temporary copy of the file instead.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/abort_signal.h"
#include "io/file_object.h"

namespace vantrel_io {

inline constexpr std::uint32_t atomic_write_page = 4096;

// Whether the `size` bytes at `offset` lie within one aligned page (an empty
// range always does).
bool lies_within_one_page(std::uint64_t offset, std::uint64_t size) noexcept;

// Whether replacing the `size` bytes at `offset`, now `old_bytes`, by
// `bytes` is one write the system puts down whole: nothing differs, or the
// bytes that differ lie within one page.
bool change_fits_one_write(std::uint64_t offset, const std::uint8_t* old_bytes, const std::uint8_t* bytes,
                           std::size_t size) noexcept;

// The same for bytes that end the file and grow it: the `old_size` bytes at
// `offset`, now `old_bytes`, become the `size` bytes `bytes` (no fewer),
// written from the first byte that differs to the new end in one write.
bool change_fits_one_write(std::uint64_t offset, const std::uint8_t* old_bytes, std::size_t old_size,
                           const std::uint8_t* bytes, std::size_t size) noexcept;

// Replaces the `size` bytes at `offset` (which must lie inside the file) by
// `bytes`. The abort signal is honoured only before the write starts; false
// when the file already held these bytes. A change that is not one write
// within one page (see change_fits_one_write) is refused with
// exception_bug_check before anything is written: callers choose the
// temporary copy for it beforehand.
bool overwrite_changed_bytes(file_object& file, std::uint64_t offset, const std::uint8_t* bytes, std::size_t size,
                             const abort_signal& abort);

// The same, for a caller that holds the span's present bytes in `old_bytes`
// (read from this file while it held the file without sharing): nothing is
// read again.
bool overwrite_changed_bytes(file_object& file, std::uint64_t offset, const std::uint8_t* old_bytes,
                             const std::uint8_t* bytes, std::size_t size, const abort_signal& abort);

// The same for bytes that end the file and grow it (see the growing
// change_fits_one_write): the `old_size` bytes at `offset` must end the file.
bool overwrite_changed_bytes(file_object& file, std::uint64_t offset, const std::uint8_t* old_bytes,
                             std::size_t old_size, const std::uint8_t* bytes, std::size_t size,
                             const abort_signal& abort);

}  // namespace vantrel_io
