#include "foundation/bit_array.h"

#include <algorithm>

namespace qiv {

// Computed in 64 bits: bits + 7 would wrap for counts near 2^32.
bit_array::bit_array(std::uint32_t bits)
    : bytes_(static_cast<std::uint32_t>((std::uint64_t{bits} + 7) / 8)), bits_(bits) {
  if (bytes_) storage_.reset(new std::uint8_t[bytes_]());
}

bool bit_array::get(std::uint32_t index) const {
  if (index >= bits_) return false;
  return (storage_[index / 8] >> (index % 8)) & 1;
}

void bit_array::set(std::uint32_t index, bool value) {
  if (index >= bits_) return;
  const auto mask = static_cast<std::uint8_t>(1u << (index % 8));
  if (value)
    storage_[index / 8] |= mask;
  else
    storage_[index / 8] &= static_cast<std::uint8_t>(~mask);
}

std::uint32_t bit_array::find(bool value, std::uint32_t start, std::int32_t count) const {
  const std::int64_t stop = std::int64_t{start} + count;
  if (count >= 0) {
    // Past the bit count every bit is clear: a set bit cannot be found there
    // and a clear one is found at once, so the scan never walks that tail.
    const std::int64_t scan_end = std::min<std::int64_t>(stop, bits_);
    for (std::int64_t i = start; i < scan_end; ++i)
      if (get(static_cast<std::uint32_t>(i)) == value) return static_cast<std::uint32_t>(i);
    if (!value) {
      const std::int64_t first_beyond = std::max<std::int64_t>(start, bits_);
      if (first_beyond < stop) return static_cast<std::uint32_t>(first_beyond);
    }
    return static_cast<std::uint32_t>(stop);
  }
  for (std::int64_t i = start; i > stop && i >= 0; --i) {
    if (i >= bits_) {
      if (!value) return static_cast<std::uint32_t>(i);
      i = bits_;  // the loop's decrement lands on the last real bit
      continue;
    }
    if (get(static_cast<std::uint32_t>(i)) == value) return static_cast<std::uint32_t>(i);
  }
  return static_cast<std::uint32_t>(stop);
}

} // namespace qiv
