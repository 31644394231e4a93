// Halves round towards positive infinity, for negative values too.
#include <gtest/gtest.h>

#include "foundation/rounding.h"

namespace {

TEST(Rounding, HalvesGoUpOnBothSidesOfZero) {
  EXPECT_EQ(qiv::round_to_int(2.5), 3);
  EXPECT_EQ(qiv::round_to_int(-2.5), -2);
  EXPECT_EQ(qiv::round_to_int(-2.6), -3);
  EXPECT_EQ(qiv::round_to_int(2.49), 2);
}

TEST(Rounding, SixtyFourBitResultsKeepValuesBeyondThirtyTwoBits) {
  EXPECT_EQ(qiv::round_half_up(6000000000.5), 6000000001LL);
  EXPECT_EQ(qiv::round_half_up(-6000000000.5), -6000000000LL);
}

} // namespace
