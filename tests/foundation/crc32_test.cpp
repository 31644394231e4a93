// CRC-32: every length and alignment gives the checksum a bit-by-bit
// computation gives, as the stored profile identity and track keys need.
#include "foundation/crc32.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

std::uint32_t crc32_bit_by_bit(const unsigned char* p, std::size_t length) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < length; ++i) {
    crc ^= p[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}

TEST(Crc32, MatchesTheStandardChecksumAtEveryLengthAndAlignment) {
  EXPECT_EQ(qiv::crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(qiv::crc32("", 0), 0u);
  unsigned char bytes[64 + 8];
  for (std::size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(i * 151 + 7);
  for (std::size_t offset = 0; offset < 8; ++offset)
    for (std::size_t length = 0; length <= 64; ++length)
      EXPECT_EQ(qiv::crc32(bytes + offset, length), crc32_bit_by_bit(bytes + offset, length))
          << "offset " << offset << ", length " << length;
}

}  // namespace
