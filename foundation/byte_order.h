// Byte-order helpers for the big-endian fields of container formats.
#pragma once

#include <cstdint>

namespace qiv {

// The native value of a big-endian 64-bit field that was loaded as two
// 32-bit words in memory order: the first word holds the high half.
inline std::uint64_t byteswap_u64_from_words(std::uint32_t first, std::uint32_t second) {
  return (std::uint64_t(__builtin_bswap32(first)) << 32) | __builtin_bswap32(second);
}

} // namespace qiv
