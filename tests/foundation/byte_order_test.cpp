// Big-endian 64-bit fields loaded as two words in memory order.
#include <gtest/gtest.h>

#include <cstring>

#include "foundation/byte_order.h"

namespace {

TEST(ByteOrder, BigEndianSixtyFourBitFieldFromTwoLoadedWords) {
  const unsigned char field[8] = {0, 0, 0, 1, 0, 0, 0, 2};
  std::uint32_t words[2];
  std::memcpy(words, field, sizeof(words));
  EXPECT_EQ(qiv::byteswap_u64_from_words(words[0], words[1]), (std::uint64_t(1) << 32) | 2);

  const unsigned char wide[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  std::memcpy(words, wide, sizeof(words));
  EXPECT_EQ(qiv::byteswap_u64_from_words(words[0], words[1]), 0x0123456789ABCDEFull);
}

} // namespace
