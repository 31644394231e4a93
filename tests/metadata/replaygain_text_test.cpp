#include "metadata/replaygain_text.h"

#include <cfenv>

#include <gtest/gtest.h>

TEST(ReplayGainText, FormatsPresentValuesAndNothingForAbsentOnes) {
  struct gain_case {
    float gain;
    bool present;
    const char* text;
  } gains[] = {
      {1.25f, true, "+1.25 dB"},
      {-7.03f, true, "-7.03 dB"},
      {0.0f, true, "+0.00 dB"},         // the sign stays on zero
      {-999.99f, true, "-999.99 dB"},   // close to the sentinel but present
      {-1000.0f, false, ""},
  };
  for (const auto& c : gains) {
    std::string text = "stale";
    EXPECT_EQ(replaygain_format_gain(text, c.gain), c.present) << c.text;
    EXPECT_EQ(text, c.text);
  }
  struct peak_case {
    float peak;
    bool present;
    const char* text;
  } peaks[] = {
      {0.987654f, true, "0.987654"},
      {1.5f, true, "1.500000"},  // clipping audio formats like any peak
      {0.0f, true, "0.000000"},
      {-1.0f, false, ""},
  };
  for (const auto& c : peaks) {
    std::string text = "stale";
    EXPECT_EQ(replaygain_format_peak(text, c.peak), c.present) << c.text;
    EXPECT_EQ(text, c.text);
  }
}

TEST(ReplayGainText, IgnoresAndRestoresTheCallersRoundingMode) {
  std::fesetround(FE_UPWARD);
  std::string text;
  replaygain_format_gain(text, 1.234f);
  EXPECT_EQ(text, "+1.23 dB");  // upward would give +1.24
  EXPECT_EQ(std::fegetround(), FE_UPWARD);
  std::fesetround(FE_TONEAREST);
}
