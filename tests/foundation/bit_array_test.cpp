#include "foundation/bit_array.h"

#include <gtest/gtest.h>

namespace {

TEST(BitArray, NineBitsTakeTwoBytesAndBitsBeyondAreClearAndUnwritable) {
  qiv::bit_array bits(9);
  EXPECT_EQ(bits.byte_count(), 2u);
  bits.set(8, true);
  bits.set(9, true);
  EXPECT_TRUE(bits.get(8));
  EXPECT_FALSE(bits.get(9));
  EXPECT_EQ(bits.data()[1], 0x01);  // bit 8 is the lowest bit of byte 1
  bits.set(3, true);
  EXPECT_EQ(bits.data()[0], 0x08);
  bits.set(3, false);
  EXPECT_EQ(bits.data()[0], 0x00);
  EXPECT_EQ(qiv::bit_array(0).byte_count(), 0u);
}

TEST(BitArray, FindScansForwardsAndBackwardsAndAnswersTheStopWhenNoneMatches) {
  qiv::bit_array bits(20);
  bits.set(4, true);
  bits.set(12, true);
  EXPECT_EQ(bits.find(true, 0, 20), 4u);
  EXPECT_EQ(bits.find(true, 5, 15), 12u);
  EXPECT_EQ(bits.find(true, 13, 7), 20u);
  EXPECT_EQ(bits.find(true, 0, 4), 4u);  // position 4 lies outside the scan
  EXPECT_EQ(bits.find(false, 4, 5), 5u);

  EXPECT_EQ(bits.find(true, 11, -11), 4u);
  EXPECT_EQ(bits.find(true, 12, -3), 12u);  // the start itself is scanned
  EXPECT_EQ(bits.find(true, 11, -5), 6u);
  EXPECT_EQ(bits.find(true, 30, -20), 12u);  // from beyond the bit count
}

TEST(BitArray, ClearBitsAreFoundPastTheEnd) {
  qiv::bit_array bits(3);
  for (std::uint32_t i = 0; i < 3; ++i) bits.set(i, true);
  EXPECT_EQ(bits.find(false, 0, 3), 3u);
  EXPECT_EQ(bits.find(false, 0, 10), 3u);
  EXPECT_EQ(bits.find(false, 5, -3), 5u);
  EXPECT_EQ(bits.find(true, 0, 0x7FFFFFFF), 0u);
  EXPECT_EQ(bits.find(true, 3, 0x7FFFFFFF), 3u + 0x7FFFFFFFu);
}

} // namespace
