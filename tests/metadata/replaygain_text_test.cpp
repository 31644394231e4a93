#include "metadata/replaygain_text.h"

#include <cfenv>
#include <cstring>

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

TEST(ReplayGainText, ReadsBackItsOwnTextAndTheFormsOtherTaggersWrite) {
  struct form {
    const char* name;
    const char* text;
    float replaygain_info::*slot;
    float value;
  } forms[] = {
      {"replaygain_track_gain", "+1.25 dB", &replaygain_info::track_gain, 1.25f},
      {"replaygain_track_gain", "-7.03 dB", &replaygain_info::track_gain, -7.03f},
      {"replaygain_track_gain", "+0.00 dB", &replaygain_info::track_gain, 0.0f},
      {"REPLAYGAIN_TRACK_GAIN", "-6.5dB", &replaygain_info::track_gain, -6.5f},     // no space before the unit
      {"replaygain_album_gain", " -3.20 dB", &replaygain_info::album_gain, -3.2f},  // leading blank
      {"replaygain_album_gain", "-3,20 dB", &replaygain_info::album_gain, -3.2f},   // written under a comma locale
      {"replaygain_album_gain", "2", &replaygain_info::album_gain, 2.0f},
      {"replaygain_track_peak", "0.987654", &replaygain_info::track_peak, 0.987654f},
      {"replaygain_album_peak", "1.2e-1", &replaygain_info::album_peak, 0.12f},
  };
  for (const auto& f : forms) {
    replaygain_info record;
    ASSERT_TRUE(record.set_from_field(f.name, f.text, std::strlen(f.text))) << f.text;
    EXPECT_FLOAT_EQ(record.*f.slot, f.value) << f.text;
  }
  // What the writers store reads back to the value they were given.
  replaygain_info record;
  std::string text;
  replaygain_format_gain(text, -12.34f);
  record.set_from_field("replaygain_track_gain", text.data(), text.size());
  EXPECT_FLOAT_EQ(record.track_gain, -12.34f);
}
