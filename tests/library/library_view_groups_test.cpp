// The flat groups of a library view level against the ordered map of wide
// keys they stand in for: same keys in the same order, same tracks in each
// group in the same order, whatever the key texts hold.
#include "library/library_view_groups.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

#include "foundation/code_page_text.h"
#include "tagged_tracks.h"

namespace {

std::vector<const track_handle*> raw(std::span<const track_handle_ptr> tracks) {
  std::vector<const track_handle*> out;
  for (const track_handle_ptr& track : tracks) out.push_back(track.get());
  return out;
}

TEST(LibraryViewGroups, MatchAnOrderedMapOfWideKeys) {
  // Case and width variants, texts equal but for a tail, characters from
  // U+E000 beside ones beyond U+FFFF (byte order and UTF-16 order differ
  // there), bytes that are not UTF-8 (two of which may widen alike), the
  // empty text.
  const char* const texts[] = {"Rock", "rock", "ROCK", "Rock ", "Rock", "\xEF\xBC\xB2ock", "\xF0\x9D\x90\x80",
                               "\xEE\x80\x80", "\xEF\xBF\xBD", "\xF0\x9F\x8E\xB5", "\xFF", "\xFE", "a\xC3", "",
                               "Rock\xCC\x81", "R\xC3\xB6" "ck", "10", "9", "rock"};
  track_handle_list tracks;
  for (int i = 0; i < 60; ++i)
    tracks.push_back(library_test::make_track({.file = ("g" + std::to_string(i) + ".flac").c_str()}));

  library_view_grouper grouper;
  std::map<std::wstring, track_handle_list> model;
  // Texts added once and filed into many times, and added again for each
  // filing, as the levels do.
  std::vector<std::uint32_t> once;
  for (const char* text : texts) {
    once.push_back(grouper.add_key(text));
    model.try_emplace(qiv::utf8_to_utf16(text, std::strlen(text)));  // a key never filed into is a group too
  }
  for (std::uint32_t i = 0; i < tracks.size(); ++i) {
    const std::size_t pick = (i * 7) % std::size(texts);
    const std::uint32_t key = i % 2 ? once[pick] : grouper.add_key(texts[pick]);
    grouper.file(key, i);
    model[qiv::utf8_to_utf16(texts[pick], std::strlen(texts[pick]))].push_back(tracks[i]);
  }
  library_view_groups groups;
  grouper.finish(track_handle_list(tracks), groups);

  wide_text_list model_keys, keys;
  for (const auto& [key, filed] : model) model_keys.push_back(key);
  for (std::size_t group = 0; group < groups.size(); ++group) keys.emplace_back(groups.key(group));
  ASSERT_EQ(keys, model_keys);
  for (const auto& [key, filed] : model) {
    const std::size_t group = groups.find(key);
    ASSERT_NE(group, library_view_groups::npos);
    EXPECT_EQ(raw(groups.tracks(group)), raw(filed)) << qiv::utf16_to_utf8(key.data(), key.size());
  }
  EXPECT_EQ(groups.find(L"Rocks"), library_view_groups::npos);
}

// Thousands of keys, most sharing their first eight or sixteen bytes, with
// the characters where byte order and UTF-16 order part: the keys come out
// in the order of their wide forms, each track in its key's group.
TEST(LibraryViewGroups, ManyKeysSharingTheirFirstBytesKeepTheOrderOfTheirWideForms) {
  const char* const pieces[] = {"Song ", "song ", "1", "9", "\xEE\x80\x80", "\xF0\x9F\x8E\xB5", "\xEF\xBC\xB2", "", " "};
  std::mt19937 random(7);
  library_view_grouper grouper;
  std::map<std::wstring, std::vector<std::uint32_t>> model;
  track_handle_list tracks;
  for (std::uint32_t i = 0; i < 3000; ++i) {
    std::string text;
    for (std::uint32_t p = random() % 7; p > 0; --p) text += pieces[random() % std::size(pieces)];
    tracks.push_back(library_test::make_track({.file = ("m" + std::to_string(i) + ".flac").c_str()}));
    grouper.file(grouper.add_key(text), i);
    model[qiv::utf8_to_utf16(text.data(), text.size())].push_back(i);
  }
  library_view_groups groups;
  grouper.finish(track_handle_list(tracks), groups);
  ASSERT_EQ(groups.size(), model.size());
  std::size_t group = 0;
  for (const auto& [key, filed] : model) {
    ASSERT_EQ(groups.key(group), key) << group;
    std::vector<const track_handle*> expected;
    for (const std::uint32_t track : filed) expected.push_back(tracks[track].get());
    ASSERT_EQ(raw(groups.tracks(group)), expected) << group;
    ++group;
  }
}

}  // namespace
