#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "playback/replaygain_scale.h"

namespace {

constexpr float absent_gain = replaygain_info::gain_absent;
constexpr float absent_peak = replaygain_info::peak_absent;
constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float inf = std::numeric_limits<float>::infinity();

struct scale_case {
  const char* why;
  playback_gain_settings settings;  // source, processing, preamp without info, preamp with info
  replaygain_info info;             // album gain, track gain, album peak, track peak
  double expected;
};

TEST(ReplayGainScale, FactorFollowsSourceProcessingAndPreamps) {
  const scale_case cases[] = {
      {"no values, processing off", {1, 0, 0, 0}, {}, 1.0},
      {"unknown source still applies the preamp without info", {0, 1, -6, 5}, {-3, -3, 1, 1}, std::pow(10.0, -0.3)},
      {"track preferred", {1, 1, 0, 0}, {-10, 6, absent_peak, absent_peak}, std::pow(10.0, 6.0f * 0.05f)},
      {"album preferred", {2, 1, 0, 0}, {-10, 6, absent_peak, absent_peak}, std::pow(10.0, -10.0f * 0.05f)},
      {"album gain stands in for a missing track gain, with the info preamp",
       {1, 1, -6, 2}, {-4, absent_gain, absent_peak, absent_peak}, std::pow(10.0, -2.0f * 0.05f)},
      {"clipping only: a peak above 1 scales down", {1, 3, 0, 0}, {absent_gain, absent_gain, absent_peak, 1.25f}, 0.8},
      {"clipping only: a peak below 1 leaves it", {1, 3, 0, 0}, {absent_gain, absent_gain, absent_peak, 0.9f}, 1.0},
      {"gain with clipping prevention caps at 1/peak", {1, 2, 0, 0}, {absent_gain, 6, absent_peak, 0.9f}, 1.0 / 0.9f},
      {"the peak falls back apart from the gain", {1, 2, 0, 0}, {absent_gain, 6, 0.5f, absent_peak},
       std::pow(10.0, 6.0f * 0.05f)},
      {"a product of exactly 1 is left alone", {1, 3, 0, 0}, {absent_gain, absent_gain, absent_peak, 1.0f}, 1.0},
      {"a NaN gain counts as absent", {1, 1, 0, 3}, {absent_gain, nan, absent_peak, absent_peak}, 1.0},
      {"an infinite gain gives way to the album gain", {1, 1, 0, 0}, {-6, inf, absent_peak, absent_peak},
       std::pow(10.0, -6.0f * 0.05f)},
      {"a gain beyond the range of float samples is not applied", {1, 1, 0, 0},
       {absent_gain, 900, absent_peak, absent_peak}, 1.0},
      {"a NaN peak counts as absent", {1, 2, 0, 0}, {absent_gain, 6, 0.5f, nan}, std::pow(10.0, 6.0f * 0.05f)},
  };
  for (const scale_case& c : cases) {
    const double factor = replaygain_scale(c.settings, c.info);
    EXPECT_TRUE(std::isfinite(factor)) << c.why;
    EXPECT_NEAR(factor, c.expected, 1e-6) << c.why;
  }
}

}  // namespace
