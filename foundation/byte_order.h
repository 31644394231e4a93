// Byte-order helpers for the big-endian fields of container formats.
#pragma once

#include <cstdint>

namespace qiv {

// The low `count` bytes of `value` in little-endian order, the byte order of
// every file the system writes.
inline void store_le(std::uint8_t* bytes, std::uint32_t value, int count) {
  for (int i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint32_t load_le(const std::uint8_t* bytes, int count) {
  std::uint32_t value = 0;
  for (int i = 0; i < count; ++i) value |= std::uint32_t(bytes[i]) << (8 * i);
  return value;
}

// The first `count` bytes (up to 4) as a big-endian value.
inline std::uint32_t load_be(const std::uint8_t* bytes, int count) {
  std::uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return value;
}

// The native value of a big-endian 64-bit field that was loaded as two
// 32-bit words in memory order: the first word holds the high half.
inline std::uint64_t byteswap_u64_from_words(std::uint32_t first, std::uint32_t second) {
  return (std::uint64_t(__builtin_bswap32(first)) << 32) | __builtin_bswap32(second);
}

} // namespace qiv
