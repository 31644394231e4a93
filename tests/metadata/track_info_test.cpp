#include "metadata/track_info.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <memory>
#include <string>
#include <vector>

#include "foundation/byte_compare.h"
#include "foundation/exceptions.h"
#include "foundation/string_buffer.h"
#include "foundation/work_steps.h"

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
  EXPECT_EQ(info.find_field("TiTlE", 5), 0u);
  EXPECT_EQ(info.find_field("TITLES"), track_info::not_found);
  EXPECT_EQ(info.find_field("TITLES", 5), 0u);  // the byte count cuts the name
  EXPECT_EQ(info.find_field("\xC3\x89T\xC3\x89"), track_info::not_found);  // upper-case E-acute
  EXPECT_EQ(info.find_field("\xC3\xA9T\xC3\xA9"), 1u);

  // Stored text stops at the count or a NUL.
  info.append_field("genre", 3, "rock\0roll", 9);
  EXPECT_STREQ(info.field_name(2), "gen");
  EXPECT_STREQ(info.field_value(2, 0), "rock");

  EXPECT_TRUE(track_info::is_valid_field_name("ALBUM ARTIST"));
  for (const char* bad : {"", "a=b", "100%", "<x", "x>", "a\tb", "caf\xC3\xA9", "a\x7F"})
    EXPECT_FALSE(track_info::is_valid_field_name(bad)) << bad;
}

TEST(TrackInfoFields, SetFieldReplacesFirstSameNamedFieldAndMovesItToTheEnd) {
  track_info_impl info;
  add(info, "artist", "a");
  add(info, "title", "t");
  add(info, "artist", "b");
  EXPECT_EQ(info.set_field("ARTIST", all, "c", all), 2u);
  EXPECT_EQ(names(info), (std::vector<std::string>{"title", "artist", "ARTIST"}));
  EXPECT_EQ(values(info, 1), std::vector<std::string>{"b"});  // the later duplicate stays
  EXPECT_EQ(values(info, 2), std::vector<std::string>{"c"});

  // Technical values likewise.
  info.append_tech("codec", all, "PCM", all);
  info.append_tech("samplerate", all, "44100", all);
  info.set_tech("CODEC", all, "FLAC", all);
  EXPECT_EQ(info.find_tech("codec"), 1u);
  EXPECT_STREQ(*info.tech_value_by_name("Codec"), "FLAC");
  EXPECT_FALSE(info.tech_value_by_name("bitrate").has_value());
}

// The first ten fields and values live inline, the rest on the heap: every
// edit must work the same on both sides and across the border.
TEST(TrackInfoFields, FieldsAndValuesPastTheTenthBehaveLikeTheFirstTen) {
  track_info_impl info;
  for (int i = 0; i < 12; ++i) {
    const std::string n = "f" + std::to_string(i);
    info.add_field_value(info.append_field(n.c_str(), all, n.c_str(), all), "second");
  }
  EXPECT_EQ(info.find_field("F11"), 11u);
  info.remove_fields(*select(12, {3}));
  ASSERT_EQ(info.field_count(), 11u);
  EXPECT_EQ(values(info, 9), (std::vector<std::string>{"f10", "second"}));  // crossed into the inline part
  info.remove_fields(*select(11, {0, 5, 10}));
  EXPECT_EQ(names(info), (std::vector<std::string>{"f1", "f2", "f4", "f5", "f7", "f8", "f9", "f10"}));

  EXPECT_EQ(info.insert_field_value(0, 0, "first", all), 0u);
  EXPECT_EQ(info.insert_field_value(0, 99, "last", all), 3u);  // a large position appends
  EXPECT_EQ(info.insert_field_value(0, 1, "middle", all), 1u);
  for (int i = 0; i < 8; ++i) info.insert_field_value(0, 99, "more", all);
  const std::vector<std::string> edited = values(info, 0);
  ASSERT_EQ(edited.size(), 13u);
  EXPECT_EQ(std::vector<std::string>(edited.begin(), edited.begin() + 5),
            (std::vector<std::string>{"first", "middle", "f1", "second", "last"}));
}

// What find_field must answer: the first field whose name matches.
std::uint32_t first_named(const track_info& info, const std::string& name) {
  for (std::uint32_t i = 0; i < info.field_count(); ++i)
    if (qiv::stricmp_ascii_equal(info.field_name(i), name.c_str())) return i;
  return track_info::not_found;
}

void expect_every_name_found_first(const track_info& info, const char* after) {
  for (const char* name : {"name0", "NAME7", "Name33", "name100", "name119", "name120", "absent"}) {
    EXPECT_EQ(info.find_field(name), first_named(info, name)) << name << " after " << after;
  }
}

// Records of many fields find names through an index: every edit that
// moves or removes fields must leave it answering as a scan would, the
// first field of a name in any letter case.
TEST(TrackInfoFields, LongRecordsFindTheFirstFieldOfANameAfterEveryEdit) {
  track_info_impl info;
  for (int i = 0; i < 150; ++i) add(info, ("name" + std::to_string(i % 120)).c_str(), "v");
  for (int i = 0; i < 30; ++i) add(info, ("NAME" + std::to_string(i)).c_str(), "upper");
  expect_every_name_found_first(info, "appending");
  info.set_field("Name7", all, "moved", all);
  expect_every_name_found_first(info, "set_field");
  info.remove_fields(*select(info.field_count(), {0, 33, 120, 140}));
  expect_every_name_found_first(info, "remove_fields");
  std::vector<std::uint32_t> reversed(info.field_count());
  for (std::uint32_t i = 0; i < reversed.size(); ++i) reversed[i] = std::uint32_t(reversed.size()) - 1 - i;
  info.reorder_fields(reversed.data());
  expect_every_name_found_first(info, "reorder_fields");
  info.remove_field_value(first_named(info, "name100"), 0);
  expect_every_name_found_first(info, "remove_field_value");
  const track_info_impl copy(info);
  expect_every_name_found_first(copy, "copying");
  info.remove_fields(*select(info.field_count(), {0, 1, 2, 3, 4}));
  while (info.field_count() > 20) info.remove_field_value(info.field_count() - 1, 0);
  expect_every_name_found_first(info, "shrinking below the indexed size");

  for (int i = 0; i < 100; ++i) info.append_tech(("tech" + std::to_string(i)).c_str(), all, "x", all);
  info.set_tech("TECH5", all, "moved", all);
  EXPECT_EQ(info.find_tech("tech5"), 99u);
  EXPECT_EQ(info.find_tech("Tech6"), 5u);
  info.remove_techs(*select(info.tech_count(), {0}));
  EXPECT_EQ(info.find_tech("tech6"), 4u);
  EXPECT_EQ(info.find_tech("tech0"), track_info::not_found);
}

TEST(TrackInfoFields, AReaderAddingThousandsOfNamesComparesEachWithFewOthers) {
  // Each add_value looks the name up first: compared with every field
  // before it, that cost the square of a tag's size.
  auto steps_adding = [](int count) {
    track_info_impl info;
    const std::uint64_t before = qiv::work_steps_on_this_thread();
    for (int i = 0; i < count; ++i) {
      const std::string name = "field " + std::to_string(i);
      info.add_value(name.c_str(), all, "v", all);
      info.add_value(name.c_str(), all, "w", all);
    }
    EXPECT_EQ(info.field_count(), std::uint32_t(count));
    return qiv::work_steps_on_this_thread() - before;
  };
  const std::uint64_t small = steps_adding(5000);
  EXPECT_LT(steps_adding(20000), 5 * small);
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
  EXPECT_STREQ(copy.field_value(11, 0), "10");
  EXPECT_STREQ(copy.tech_value(0), "FLAC");
  EXPECT_EQ(copy.get_length(), 12.5);
  EXPECT_EQ(copy.get_replaygain().track_gain, -6.0f);

  track_info_impl target;
  add(target, "old", "x");
  target.copy_fields_from(info);
  EXPECT_EQ(names(target), names(info));
  EXPECT_EQ(target.tech_count(), 0u);

  // Copying one field's values appends beside a same-named field.
  target.reset();
  add(target, "artist", "z");
  track_info::copy_field_values_from(target, info, 0);
  EXPECT_EQ(target.field_count(), 2u);
  EXPECT_EQ(values(target, 1), (std::vector<std::string>{"a", "b"}));
}

TEST(TrackInfoStorage, ListsThatCannotGrowOrShrinkStayWhole) {
  EXPECT_THROW(track_info_list_capacity(0x80000000u, 0x80000001u), qiv::exception_overflow);

  track_info_impl info;
  add(info, "artist", "v0");
  for (int i = 1; i < 9; ++i) info.insert_field_value(0, 99, ("v" + std::to_string(i)).c_str(), all);
  // Removing down to two values shrinks the value list; its new block fails.
  fail_next_array_new = true;
  for (int i = 0; i < 7; ++i) info.remove_field_value(0, info.field_value_count(0) - 1);
  EXPECT_FALSE(fail_next_array_new);  // the shrink did ask for a block
  EXPECT_EQ(values(info, 0), (std::vector<std::string>{"v0", "v1"}));
}

} // namespace
