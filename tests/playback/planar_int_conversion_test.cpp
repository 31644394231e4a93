#include "playback/planar_int_conversion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// The value rule every path must follow: the low bps bits, sign-extended, over 2^(bps-1).
float expected(std::int32_t value, std::uint32_t bps) {
  const unsigned shift = 32 - bps;
  const std::int32_t low = static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << shift) >> shift;
  return static_cast<float>(low) * (1.0f / static_cast<float>(1ull << (bps - 1)));
}

struct plane_set {
  std::vector<std::vector<std::int32_t>> planes;
  std::vector<const std::int32_t*> pointers;
  plane_set(std::uint32_t channels, std::uint32_t samples, std::int32_t seed) : planes(channels) {
    for (std::uint32_t c = 0; c < channels; ++c) {
      for (std::uint32_t i = 0; i < samples; ++i) {
        // Values that straddle every depth's range, high garbage bits included.
        planes[c].push_back(static_cast<std::int32_t>((i * 2654435761u) ^ (c * 40503u) ^ seed));
      }
      pointers.push_back(planes[c].data());
    }
  }
};

TEST(planar_int_conversion, every_path_follows_the_value_rule) {
  // The sample counts choose the path: multiples of 8 may vectorise at 16
  // and 24 bits, others never; 1, 2 and 6 channels take the mono, stereo
  // and N-channel forms.
  const std::uint32_t depths[] = {8, 16, 20, 24, 32};
  const std::uint32_t channel_counts[] = {1, 2, 6};
  const std::uint32_t sample_counts[] = {4096, 4095, 8, 3};
  for (std::uint32_t bps : depths) {
    for (std::uint32_t channels : channel_counts) {
      for (std::uint32_t samples : sample_counts) {
        plane_set in(channels, samples, static_cast<std::int32_t>(bps));
        // One float past the 16-byte boundary so the aligned forms are skipped too.
        for (std::uint32_t offset : {0u, 1u}) {
          std::vector<float> storage(samples * channels + 8);
          float* out = storage.data() + ((16 - reinterpret_cast<std::uintptr_t>(storage.data()) % 16) % 16) / 4 + offset;
          convert_planar_int32_to_float(in.pointers.data(), channels, samples, bps, out);
          for (std::uint32_t i = 0; i < samples; ++i) {
            for (std::uint32_t c = 0; c < channels; ++c) {
              ASSERT_EQ(out[i * channels + c], expected(in.planes[c][i], bps))
                  << "bps " << bps << ", " << channels << " channels, " << samples << " samples, frame " << i;
            }
          }
        }
      }
    }
  }
}

TEST(planar_int_conversion, boundary_values) {
  struct case_t {
    std::int32_t input;
    std::uint32_t bps;
    float output;
    const char* why;
  } cases[] = {
      {0x7FFF8000, 16, -1.0f, "only the low 16 bits count"},
      {32767, 16, 32767.0f / 32768.0f, "largest 16-bit value"},
      {-8388608, 24, -1.0f, "smallest 24-bit value"},
      {127, 8, 127.0f / 128.0f, "largest 8-bit value"},
      {INT32_MIN, 32, -1.0f, "32 bits use the whole word"},
  };
  for (const case_t& c : cases) {
    std::vector<std::int32_t> plane(8, c.input);
    const std::int32_t* planes[] = {plane.data()};
    alignas(16) float out[8];
    convert_planar_int32_to_float(planes, 1, 8, c.bps, out);
    EXPECT_EQ(out[7], c.output) << c.why;
  }
}

TEST(planar_int_conversion, checked_form_reports_values_beyond_the_depth_and_still_converts) {
  std::vector<std::int32_t> left = {1, -32768, 40000, 5};
  std::vector<std::int32_t> right = {2, 32767, 3, 4};
  const std::int32_t* planes[] = {left.data(), right.data()};
  float out[8];
  EXPECT_FALSE(convert_planar_int32_to_float_checked(planes, 2, 4, 16, out));
  EXPECT_EQ(out[4], (40000.0f - 65536.0f) / 32768.0f);
  EXPECT_EQ(out[7], 4.0f / 32768.0f);
  left[2] = -40;
  EXPECT_TRUE(convert_planar_int32_to_float_checked(planes, 2, 4, 16, out));
}

}  // namespace
