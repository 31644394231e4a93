// The compact copy answers exactly what the track it copied answers, with an
// index only from 21 fields on, and shares the common field names.
#include "ui/support/compact_track_info.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void add_fields(track_info_impl& info, int count) {
  for (int i = 0; i < count; ++i) {
    const std::string name = "FIELD" + std::to_string(count - i);  // not in name order
    info.set_field(name.c_str(), name.size(), "v", 1);
  }
}

void expect_same_content(const track_info& copy, const track_info& original) {
  ASSERT_EQ(copy.field_count(), original.field_count());
  for (std::uint32_t f = 0; f < original.field_count(); ++f) {
    EXPECT_STREQ(copy.field_name(f), original.field_name(f));
    ASSERT_EQ(copy.field_value_count(f), original.field_value_count(f));
    for (std::uint32_t v = 0; v < original.field_value_count(f); ++v)
      EXPECT_STREQ(copy.field_value(f, v), original.field_value(f, v));
  }
  ASSERT_EQ(copy.tech_count(), original.tech_count());
  for (std::uint32_t t = 0; t < original.tech_count(); ++t) {
    EXPECT_STREQ(copy.tech_name(t), original.tech_name(t));
    EXPECT_STREQ(copy.tech_value(t), original.tech_value(t));
  }
  EXPECT_EQ(copy.get_length(), original.get_length());
  EXPECT_EQ(copy.get_replaygain().track_gain, original.get_replaygain().track_gain);
  EXPECT_EQ(copy.get_replaygain().album_peak, original.get_replaygain().album_peak);
}

TEST(CompactTrackInfo, TheIndexFromTwentyOneFieldsAnswersWhatTheLinearSearchAnswers) {
  for (int extra : {19, 20}) {
    track_info_impl original;
    add_fields(original, extra);
    original.set_field("Artist", 6, "A", 1);
    original.set_field("artist", 6, "B", 1);  // replaces: names fold
    original.append_field("ARTIST", 6, "C", 1);  // a second field of the same name
    compact_track_info copy(original);
    EXPECT_EQ(copy.has_index(), original.field_count() >= 21) << original.field_count();
    for (const char* name : {"artist", "ARTIST", "field7", "FIELD1", "Field20", "missing", "artis", "artistX"})
      EXPECT_EQ(copy.find_field(name), original.find_field(name)) << name << " with " << original.field_count();
    EXPECT_EQ(copy.find_field("artistsort", 6), original.find_field("artist")) << "the length limits the name";
    expect_same_content(copy, original);
  }
}

TEST(CompactTrackInfo, CopiesEveryValueTechnicalEntryLengthAndReplayGain) {
  track_info_impl original;
  original.set_field("Title", 5, "Song", 4);
  original.set_field("ARTISTSORT", 10, "Sort", 4);
  original.set_field("genre", 5, "Rock", 4);
  original.add_field_value(2, "Pop");
  original.add_field_value(2, "");
  original.set_field("EMPTY", 5, "", 0);
  original.set_tech("samplerate", 10, "44100", 5);
  original.set_tech("my_tech", 7, "x", 1);
  original.set_length(123.25);
  replaygain_info gain;
  gain.track_gain = -6.5f;
  gain.album_peak = 0.75f;
  original.set_replaygain(gain);
  compact_track_info copy(original);
  expect_same_content(copy, original);
  EXPECT_EQ(copy.find_tech("SampleRate"), 0u);
  EXPECT_EQ(copy.find_tech("nothing"), track_info::not_found);

  // Common names point at the shared table, others into the block.
  EXPECT_TRUE(compact_track_info::is_shared_name(copy.field_name(0)));   // "Title"
  EXPECT_FALSE(compact_track_info::is_shared_name(copy.field_name(1)));  // "ARTISTSORT"
  EXPECT_TRUE(compact_track_info::is_shared_name(copy.tech_name(0)));    // "samplerate"
  EXPECT_FALSE(compact_track_info::is_shared_name(copy.tech_name(1)));

  // A copy of the copy, and an empty track.
  compact_track_info second(copy);
  expect_same_content(second, original);
  second = compact_track_info(track_info_impl());
  EXPECT_EQ(second.field_count(), 0u);
  EXPECT_EQ(second.find_field("title"), track_info::not_found);
}

}  // namespace
