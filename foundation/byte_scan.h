// Scans of byte blocks a word at a time. The system's C library under Wine
// compares and searches one byte per step, which on tags that carry pictures
// of tens of kilobytes costs more than the file's reads and writes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qiv {

// The first byte of [from, end) equal to `value`, or `end`.
const std::uint8_t* find_byte(const std::uint8_t* from, const std::uint8_t* end, std::uint8_t value) noexcept;

// The index of the first byte where the blocks differ, or `size` when they
// are equal.
std::size_t first_difference(const std::uint8_t* a, const std::uint8_t* b, std::size_t size) noexcept;

// One past the index of the last byte where the blocks differ, or 0 when they
// are equal.
std::size_t last_difference_end(const std::uint8_t* a, const std::uint8_t* b, std::size_t size) noexcept;

}  // namespace qiv
