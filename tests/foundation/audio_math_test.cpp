// Seconds and sample counts convert without losing the unsigned range.
#include <gtest/gtest.h>

#include "foundation/audio_math.h"

namespace {

TEST(AudioMath, TimeToSamplesRoundsToTheNearestSample) {
  EXPECT_EQ(audio_math::time_to_samples(1.0, 44100), 44100u);
  EXPECT_EQ(audio_math::time_to_samples(0.00001, 44100), 0u);
  EXPECT_EQ(audio_math::time_to_samples(1.0, 0x80000000u), 0x80000000u);
}

TEST(AudioMath, SamplesToTimeTreatsCountsAndRatesAsUnsigned) {
  EXPECT_DOUBLE_EQ(audio_math::samples_to_time(22050, 44100), 0.5);
  EXPECT_DOUBLE_EQ(audio_math::samples_to_time(std::uint64_t(1) << 63, 0x80000000u), 4294967296.0);
}

} // namespace
