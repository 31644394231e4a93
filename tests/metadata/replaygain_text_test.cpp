#include "metadata/replaygain_text.h"

#include <cfenv>
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

TEST(ReplayGainText, FormatsPresentValuesAndNothingForAbsentOnes) {
  struct {
    bool (*format)(std::string&, float);
    float value;
    const char* text;  // empty: absent
  } const cases[] = {
      {replaygain_format_gain, 1.25f, "+1.25 dB"},
      {replaygain_format_gain, -7.03f, "-7.03 dB"},
      {replaygain_format_gain, 0.0f, "+0.00 dB"},        // the sign stays on zero
      {replaygain_format_gain, -999.99f, "-999.99 dB"},  // close to the sentinel but present
      {replaygain_format_gain, -1000.0f, ""},
      {replaygain_format_peak, 1.5f, "1.500000"},        // clipping audio formats like any peak
      {replaygain_format_peak, 0.0f, "0.000000"},
      {replaygain_format_peak, -1.0f, ""},
  };
  for (const auto& c : cases) {
    std::string text = "stale";
    EXPECT_EQ(c.format(text, c.value), *c.text != '\0') << c.value;
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
    std::size_t length = 0;  // 0: the whole text
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
      {"replaygain_album_peak", "0.98765xyz", &replaygain_info::album_peak, 0.98f, 4},  // the count ends the text
      {"replaygain_track_peak", "-0.5", &replaygain_info::track_peak, 0.0f},  // a peak is never negative
      {"replaygain_track_gain", "loud", &replaygain_info::track_gain, 0.0f},
  };
  for (const auto& f : forms) {
    replaygain_info record;
    ASSERT_TRUE(record.set_from_field(f.name, f.text, f.length ? f.length : std::strlen(f.text))) << f.text;
    EXPECT_FLOAT_EQ(record.*f.slot, f.value) << f.text;
  }
  EXPECT_FALSE(replaygain_info().set_from_field("replaygain_reference_loudness", "89", 2));
  replaygain_info odd;
  odd.track_peak = std::nanf("");  // present, though not a number
  EXPECT_EQ(replaygain_count_present(odd), 1u);
  // What the writers store reads back to the value they were given.
  replaygain_info record;
  std::string text;
  replaygain_format_gain(text, -12.34f);
  record.set_from_field("replaygain_track_gain", text.data(), text.size());
  EXPECT_FLOAT_EQ(record.track_gain, -12.34f);
}

TEST(ReplayGainText, AStoredTextOfAnotherFormReadsAsTheSameValue) {
  const replaygain_field& gain = *replaygain_find_field("replaygain_track_gain");
  const replaygain_field& peak = *replaygain_find_field("REPLAYGAIN_TRACK_PEAK");
  EXPECT_TRUE(replaygain_text_reads_as(gain, "-3.14159 dB", "-3.14 dB"));
  EXPECT_TRUE(replaygain_text_reads_as(gain, "-3.2 dB", "-3.20 dB"));
  EXPECT_TRUE(replaygain_text_reads_as(peak, "1.23456789", "1.234568"));
  EXPECT_FALSE(replaygain_text_reads_as(gain, "-3.14159 dB", "-3.15 dB"));  // an edited value
  EXPECT_FALSE(replaygain_text_reads_as(gain, "-1000 dB", "-1000.00 dB"));  // reads as no value
}
