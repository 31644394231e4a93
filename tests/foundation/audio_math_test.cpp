// Counts, rates and rounding keep the whole range on their way through a double.
#include "foundation/audio_math.h"

#include <gtest/gtest.h>

#include "foundation/rounding.h"

namespace {

TEST(AudioMath, RatesFrom2To31CountsFrom2To63AndValuesBeyond32BitsKeepTheirSign) {
  EXPECT_EQ(audio_math::time_to_samples(1.0, 0x80000000u), 0x80000000u);
  EXPECT_DOUBLE_EQ(audio_math::samples_to_time(std::uint64_t(1) << 63, 0x80000000u), 4294967296.0);
  EXPECT_EQ(qiv::round_half_up(-6000000000.5), -6000000000LL);
  EXPECT_EQ(qiv::round_to_int(-2.5), -2);  // halves round upwards below zero too
}

} // namespace
