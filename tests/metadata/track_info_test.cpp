#include "metadata/track_info.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <memory>
#include <string>
#include <vector>

#include "foundation/exceptions.h"
#include "foundation/string_buffer.h"

namespace {
// Set by a test to make the next array allocation fail, as it would when
// memory runs out: the record's heap lists are the only array allocations.
std::atomic<bool> fail_next_array_new{false};
}  // namespace

void* operator new[](std::size_t size) {
  if (fail_next_array_new.exchange(false)) throw std::bad_alloc();
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace {

constexpr std::size_t all = qiv::until_nul;

void add(track_info& info, const char* name, const char* value) { info.append_field(name, all, value, all); }

std::vector<std::string> names(const track_info& info) {
  std::vector<std::string> out;
  for (std::uint32_t i = 0; i < info.field_count(); ++i) out.emplace_back(info.field_name(i));
  return out;
}

std::vector<std::string> values(const track_info& info, std::uint32_t field) {
  std::vector<std::string> out;
  for (std::uint32_t v = 0; v < info.field_value_count(field); ++v) out.emplace_back(info.field_value(field, v));
  return out;
}

std::unique_ptr<qiv::bit_array> select(std::uint32_t bits, std::initializer_list<std::uint32_t> chosen) {
  auto mask = std::make_unique<qiv::bit_array>(bits);
  for (auto i : chosen) mask->set(i, true);
  return mask;
}

TEST(TrackInfoFields, NamesFoldOnlyAsciiLetters) {
  track_info_impl info;
  add(info, "title", "x");
  add(info, "\xC3\xA9t\xC3\xA9", "y");  // lower-case e-acute
  EXPECT_EQ(info.find_field("TITLE"), 0u);
  EXPECT_EQ(info.find_field("TiTlE", 5), 0u);
  EXPECT_EQ(info.find_field("TITLES"), track_info::not_found);
  EXPECT_EQ(info.find_field("TITLES", 5), 0u);  // the byte count cuts the name
  EXPECT_EQ(info.find_field("\xC3\x89T\xC3\x89"), track_info::not_found);  // upper-case E-acute
  EXPECT_EQ(info.find_field("\xC3\xA9T\xC3\xA9"), 1u);

  // Stored text stops at the count or a NUL.
  info.append_field("genre", 3, "rock\0roll", 9);
  EXPECT_STREQ(info.field_name(2), "gen");
  EXPECT_STREQ(info.field_value(2, 0), "rock");
}

TEST(TrackInfoFields, SetFieldReplacesFirstSameNamedFieldAndMovesItToTheEnd) {
  track_info_impl info;
  add(info, "artist", "a");
  add(info, "title", "t");
  add(info, "artist", "b");
  EXPECT_EQ(info.find_field("ARTIST"), 0u);
  EXPECT_EQ(info.set_field("ARTIST", all, "c", all), 2u);
  EXPECT_EQ(names(info), (std::vector<std::string>{"title", "artist", "ARTIST"}));
  EXPECT_EQ(values(info, 1), std::vector<std::string>{"b"});  // the later duplicate stays
  EXPECT_EQ(values(info, 2), std::vector<std::string>{"c"});
}

TEST(TrackInfoFields, InsertedValuesLandAtTheirPositionAndLargePositionsAppend) {
  track_info_impl info;
  add(info, "artist", "a");
  EXPECT_EQ(info.insert_field_value(0, 0, "first", all), 0u);
  EXPECT_EQ(info.insert_field_value(0, 99, "last", all), 2u);
  EXPECT_EQ(info.insert_field_value(0, 1, "middle", all), 1u);
  info.add_field_value(0, "end");
  EXPECT_EQ(values(info, 0), (std::vector<std::string>{"first", "middle", "a", "last", "end"}));
  EXPECT_EQ(info.total_value_count(), 5u);
  info.replace_field_value(0, 2, "A", all);
  info.remove_field_value(0, 0);
  EXPECT_EQ(values(info, 0), (std::vector<std::string>{"middle", "A", "last", "end"}));

  // Removing a field's only value removes the field.
  add(info, "two", "2");
  add(info, "three", "3");
  info.remove_field_value(1, 0);
  EXPECT_EQ(names(info), (std::vector<std::string>{"artist", "three"}));
}

TEST(TrackInfoFields, FieldsPastTheTenthBehaveLikeTheFirstTen) {
  track_info_impl info;
  for (int i = 0; i < 12; ++i) {
    const std::string n = "f" + std::to_string(i);
    const std::uint32_t index = info.append_field(n.c_str(), all, n.c_str(), all);
    EXPECT_EQ(index, std::uint32_t(i));
    info.add_field_value(index, "second");
  }
  EXPECT_EQ(info.find_field("F11"), 11u);
  EXPECT_EQ(values(info, 10), (std::vector<std::string>{"f10", "second"}));

  info.remove_fields(*select(12, {3}));
  ASSERT_EQ(info.field_count(), 11u);
  for (std::uint32_t i = 3; i < 11; ++i) EXPECT_EQ(info.field_name(i), "f" + std::to_string(i + 1));
  EXPECT_EQ(values(info, 9), (std::vector<std::string>{"f10", "second"}));  // crossed into the inline part

  info.remove_fields(*select(11, {0, 5, 10}));
  EXPECT_EQ(names(info), (std::vector<std::string>{"f1", "f2", "f4", "f5", "f7", "f8", "f9", "f10"}));
  info.remove_fields(*select(8, {}));
  EXPECT_EQ(info.field_count(), 8u);
  info.remove_all_fields();
  EXPECT_EQ(info.field_count(), 0u);
}

// The permutation's direction; its walk is the shared reorder's, tested with it.
TEST(TrackInfoFields, ReorderAppliesThePermutation) {
  track_info_impl info;
  for (const char* name : {"one", "two", "three"}) add(info, name, "v");
  const std::uint32_t permutation[] = {2, 0, 1};
  info.reorder_fields(permutation);
  EXPECT_EQ(names(info), (std::vector<std::string>{"three", "one", "two"}));
}

TEST(TrackInfoTechnical, SetReplacesFirstAndIntegersRoundTrip) {
  track_info_impl info;
  info.append_tech("codec", all, "PCM", all);
  info.append_tech("samplerate", all, "44100", all);
  info.set_tech("CODEC", all, "FLAC", all);
  EXPECT_STREQ(info.tech_name(1), "CODEC");
  EXPECT_EQ(info.find_tech("codec"), 1u);
  EXPECT_STREQ(*info.tech_value_by_name("Codec"), "FLAC");
  EXPECT_FALSE(info.tech_value_by_name("bitrate").has_value());

  info.set_tech_int("offset", -1234567890123);
  EXPECT_STREQ(*info.tech_value_by_name("offset"), "-1234567890123");
  EXPECT_EQ(info.get_tech_int("offset"), -1234567890123);
  info.set_tech("odd", all, "  +42kbps", all);
  EXPECT_EQ(info.get_tech_int("odd"), 42);
  EXPECT_EQ(info.get_tech_int("missing"), 0);
  info.set_tech("huge", all, "99999999999999999999999", all);
  EXPECT_EQ(info.get_tech_int("huge"), INT64_MAX);

  info.remove_techs(*select(info.tech_count(), {0, 2}));
  EXPECT_STREQ(info.tech_name(0), "CODEC");
  EXPECT_STREQ(info.tech_name(1), "odd");
}

TEST(TrackInfoTechnical, DecodedBitsAndBitrateFromSize) {
  track_info_impl info;
  info.set_tech("decoded_bitspersample", all, "0", all);
  info.set_tech("bitspersample", all, "24", all);
  EXPECT_EQ(info.get_decoded_bits_per_sample(), 24u);
  info.set_tech("decoded_bitspersample", all, "32", all);
  EXPECT_EQ(info.get_decoded_bits_per_sample(), 32u);
  track_info_impl other;
  other.set_tech("bitspersample", all, "300", all);
  EXPECT_EQ(other.get_decoded_bits_per_sample(), 0u);

  info.set_bitrate_from_size(1000000, 10.0);
  EXPECT_STREQ(*info.tech_value_by_name("bitrate"), "800");
  info.set_bitrate_from_size(1000, 3.0);
  EXPECT_STREQ(*info.tech_value_by_name("bitrate"), "3");
  info.set_bitrate_from_size(1000, 0.0);
  info.set_bitrate_from_size(1000, -1.0);
  info.set_bitrate_from_size(1000, std::nan(""));
  info.set_bitrate_from_size(~std::uint64_t(0), 1e-12);  // no 64-bit rate: left alone
  EXPECT_STREQ(*info.tech_value_by_name("bitrate"), "3");
}

TEST(TrackInfoCopy, CopyKeepsEverythingAndSelfCopyChangesNothing) {
  track_info_impl info;
  add(info, "artist", "a");
  info.add_field_value(0, "b");
  for (int i = 0; i < 11; ++i) add(info, "n", std::to_string(i).c_str());
  info.set_tech("codec", all, "FLAC", all);
  info.set_length(12.5);
  replaygain_info gain;
  gain.track_gain = -6.0f;
  info.set_replaygain(gain);

  info.copy_all_from(info);
  EXPECT_EQ(info.field_count(), 12u);
  EXPECT_EQ(values(info, 0), (std::vector<std::string>{"a", "b"}));

  track_info_impl copy(info);
  EXPECT_EQ(names(copy), names(info));
  EXPECT_EQ(values(copy, 0), values(info, 0));
  EXPECT_STREQ(copy.field_value(11, 0), "10");
  EXPECT_STREQ(copy.tech_value(0), "FLAC");
  EXPECT_EQ(copy.get_length(), 12.5);
  EXPECT_EQ(copy.get_replaygain().track_gain, -6.0f);

  track_info_impl target;
  add(target, "old", "x");
  target.copy_fields_from(info);
  EXPECT_EQ(names(target), names(info));
  EXPECT_EQ(target.tech_count(), 0u);

  target.reset();
  EXPECT_EQ(target.field_count(), 0u);
  EXPECT_EQ(target.get_length(), 0.0);
  EXPECT_EQ(replaygain_count_present(target.get_replaygain()), 0u);

  // Copying one field's values appends beside a same-named field.
  add(target, "artist", "z");
  track_info::copy_field_values_from(target, info, 0);
  EXPECT_EQ(target.field_count(), 2u);
  EXPECT_EQ(values(target, 1), (std::vector<std::string>{"a", "b"}));
}

TEST(TrackInfoText, JoinedValuesFieldTextAndNameValidity) {
  track_info_impl info;
  add(info, "artist", "a");
  info.add_field_value(0, "b");
  qiv::string_buffer out;
  info.get_field_joined(0, " / ", out);
  EXPECT_STREQ(out.get_ptr(), "a / b");
  EXPECT_TRUE(info.get_field_text("ARTIST", out));
  EXPECT_STREQ(out.get_ptr(), "a, b");
  EXPECT_FALSE(info.get_field_text("album", out));
  EXPECT_STREQ(out.get_ptr(), "");

  EXPECT_TRUE(track_info::is_valid_field_name("ALBUM ARTIST"));
  for (const char* bad : {"", "a=b", "100%", "<x", "x>", "a\tb", "caf\xC3\xA9", "a\x7F"})
    EXPECT_FALSE(track_info::is_valid_field_name(bad)) << bad;
}

TEST(TrackInfoDisplay, DisplayRecordFillsFromTrackInfo) {
  track_info_impl info;
  add(info, "ARTIST", "a");
  info.add_field_value(0, "b");
  add(info, "title", "t");
  info.set_length(90.0);
  EXPECT_EQ(info.value_count("artist"), 2u);
  EXPECT_EQ(info.value_count("album"), 0u);
  EXPECT_STREQ(info.value("Title", 0), "t");

  track_display_info display;
  display.fill_from(info);
  EXPECT_STREQ(display.get(field_name_set::artist), "a; b");
  EXPECT_FLOAT_EQ(display.get_length(), 90.0f);
}

TEST(TrackInfoStorage, ListsGrowByDoublingAndShrinkByHalving) {
  EXPECT_EQ(track_info_list_capacity(0, 1), 1u);
  EXPECT_EQ(track_info_list_capacity(1, 3), 4u);
  EXPECT_EQ(track_info_list_capacity(4, 5), 8u);
  EXPECT_EQ(track_info_list_capacity(8, 2), 8u);  // a quarter (2) does not exceed 2
  EXPECT_EQ(track_info_list_capacity(8, 1), 4u);
  EXPECT_EQ(track_info_list_capacity(64, 0), 2u);
  EXPECT_THROW(track_info_list_capacity(0x80000000u, 0x80000001u), qiv::exception_overflow);
}

TEST(TrackInfoStorage, RemovalsStayWholeWhenTheSmallerBlockCannotBeHad) {
  track_info_impl info;
  add(info, "artist", "v0");
  for (int i = 1; i < 9; ++i) info.insert_field_value(0, 99, ("v" + std::to_string(i)).c_str(), all);
  ASSERT_EQ(info.field_value_count(0), 9u);
  // Removing down to two values shrinks the value list; its new block fails.
  fail_next_array_new = true;
  for (int i = 0; i < 7; ++i) info.remove_field_value(0, info.field_value_count(0) - 1);
  EXPECT_FALSE(fail_next_array_new);  // the shrink did ask for a block
  EXPECT_EQ(values(info, 0), (std::vector<std::string>{"v0", "v1"}));
}

TEST(ReplayGain, FieldsParseByNameAndPeaksStayNonNegative) {
  track_info_impl info;
  EXPECT_TRUE(info.try_set_replaygain("REPLAYGAIN_TRACK_PEAK", "-0.5"));
  EXPECT_EQ(info.get_replaygain().track_peak, 0.0f);
  EXPECT_TRUE(info.try_set_replaygain("replaygain_track_gain", "loud"));
  EXPECT_EQ(info.get_replaygain().track_gain, 0.0f);
  EXPECT_TRUE(info.try_set_replaygain("Replaygain_Album_Gain", "-7.25 dB"));
  EXPECT_EQ(info.get_replaygain().album_gain, -7.25f);
  EXPECT_TRUE(info.try_set_replaygain("replaygain_album_peak", "0.98765xyz", 4));
  EXPECT_FLOAT_EQ(info.get_replaygain().album_peak, 0.98f);
  EXPECT_EQ(replaygain_count_present(info.get_replaygain()), 4u);

  EXPECT_FALSE(info.try_set_replaygain("replaygain_reference_loudness", "89"));
  info.set_tech_unless_replaygain("replaygain_reference_loudness", "89 dB");
  info.set_tech_unless_replaygain("replaygain_track_gain", "+1.5");
  EXPECT_STREQ(*info.tech_value_by_name("REPLAYGAIN_REFERENCE_LOUDNESS"), "89 dB");
  EXPECT_EQ(info.find_tech("replaygain_track_gain"), track_info::not_found);
  EXPECT_EQ(info.get_replaygain().track_gain, 1.5f);
  info.clear_replaygain();
  EXPECT_EQ(replaygain_count_present(info.get_replaygain()), 0u);
}

TEST(ReplayGain, MergeFillsOnlyAbsentValuesAndNanCountsAsPresent) {
  replaygain_info primary;
  primary.album_gain = -3.5f;
  const replaygain_info fallback{-1.0f, -2.0f, 0.5f, 0.25f};
  const replaygain_info merged = replaygain_merge(primary, fallback);
  EXPECT_EQ(merged.album_gain, -3.5f);
  EXPECT_EQ(merged.track_gain, -2.0f);
  EXPECT_EQ(merged.album_peak, 0.5f);
  EXPECT_EQ(merged.track_peak, 0.25f);

  replaygain_info odd;
  odd.track_peak = std::nanf("");
  EXPECT_EQ(replaygain_count_present(odd), 1u);
}

} // namespace
