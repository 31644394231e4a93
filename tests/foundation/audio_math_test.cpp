// Seconds, sample counts and rounding keep the whole unsigned range and round
// halves upwards on both sides of zero.
#include "foundation/audio_math.h"

#include <gtest/gtest.h>

#include "foundation/rounding.h"

namespace {

TEST(AudioMath, ConversionsAndRoundingAtTheirEdges) {
  EXPECT_EQ(audio_math::time_to_samples(1.0, 44100), 44100u);
  EXPECT_EQ(audio_math::time_to_samples(0.00001, 44100), 0u);
  EXPECT_EQ(audio_math::time_to_samples(1.0, 0x80000000u), 0x80000000u);
  EXPECT_DOUBLE_EQ(audio_math::samples_to_time(22050, 44100), 0.5);
  EXPECT_DOUBLE_EQ(audio_math::samples_to_time(std::uint64_t(1) << 63, 0x80000000u), 4294967296.0);
  struct { double value; std::int64_t rounded; } cases[] = {{2.5, 3}, {-2.5, -2}, {-2.6, -3}, {2.49, 2}};
  for (const auto& c : cases) EXPECT_EQ(qiv::round_to_int(c.value), c.rounded) << c.value;
  EXPECT_EQ(qiv::round_half_up(6000000000.5), 6000000001LL);
  EXPECT_EQ(qiv::round_half_up(-6000000000.5), -6000000000LL);
}

} // namespace
