#include "playback/output/dsound_stream.h"

#include <gtest/gtest.h>

namespace {

TEST(DsoundStreamSizes, WholeFramesForAThreeSecondLead) {
  dsound_stream_spec spec;
  spec.sample_rate = 44100;
  spec.channels = 2;
  spec.bits = 32;
  spec.is_float = true;
  spec.buffer_seconds = 3.0;
  const dsound_stream_sizes sizes = dsound_stream_sizes::of(spec);
  EXPECT_EQ(sizes.ring, 11025 * 8);
  EXPECT_EQ(sizes.start_threshold, 44100 * 8) << "half the lead, capped at 1 s";
  EXPECT_EQ(sizes.minimum_lead, 2205 * 8);
  EXPECT_EQ(sizes.target_fill, 132300 * 8);
  EXPECT_EQ(sizes.buffer, 141120 * 8);
  EXPECT_EQ(sizes.silence_pad, 2940 * 8);
  EXPECT_EQ(sizes.bytes_per_second, 352800u);

  // Rates that do not divide evenly round to the nearest whole frame.
  spec.sample_rate = 22050;
  spec.channels = 1;
  spec.bits = 16;
  spec.buffer_seconds = 0.1;
  const dsound_stream_sizes small = dsound_stream_sizes::of(spec);
  EXPECT_EQ(small.start_threshold, 1103 * 2) << "0.05 s of 22050 Hz is 1102.5 frames";
  EXPECT_EQ(small.silence_pad, 1470 * 2);
}

}  // namespace
