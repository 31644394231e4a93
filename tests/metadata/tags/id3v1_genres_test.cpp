#include "metadata/tags/id3v1_genres.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "metadata/tags/id3v1.h"
#include "metadata/tags/tag_changes.h"
#include "metadata/track_info.h"

namespace {

track_info_impl with_genre(const char* genre) {
  track_info_impl info;
  info.set_field("title", track_info::until_nul, "t", track_info::until_nul);
  if (genre != nullptr) info.set_field("genre", track_info::until_nul, genre, track_info::until_nul);
  return info;
}

std::string genre_read_from(std::uint8_t byte) {
  id3v1_block block = id3v1_render_block(with_genre(nullptr));
  block[127] = byte;
  track_info_impl info;
  id3v1_parse_block(block.data(), info);
  const std::uint32_t genre = info.find_field("genre");
  return genre == track_info::not_found ? "(none)" : info.field_value(genre, 0);
}

}  // namespace

// The names other taggers give every number, the published spellings kept
// where the list had them, and the replacement name at 133.
TEST(Id3v1Genres, TheListNamesTheGenresOtherTaggersName) {
  ASSERT_EQ(192u, id3v1_genre_count);
  EXPECT_STREQ("Blues", id3v1_genre_list[0]);
  EXPECT_STREQ("Psychadelic", id3v1_genre_list[67]);
  EXPECT_STREQ("A capella", id3v1_genre_list[123]);
  EXPECT_STREQ("Afro-Punk", id3v1_genre_list[133]);
  EXPECT_STREQ("SynthPop", id3v1_genre_list[147]);
  EXPECT_STREQ("Abstract", id3v1_genre_list[148]);
  EXPECT_STREQ("Baroque", id3v1_genre_list[150]);
  EXPECT_STREQ("Psybient", id3v1_genre_list[191]);

  EXPECT_EQ(133, id3v1_genre_index("afro-punk"));
  EXPECT_EQ(191, id3v1_genre_index("PSYBIENT"));
  EXPECT_EQ(-1, id3v1_genre_index("Alt. Rock"));  // typed text is not taken for a number

  for (const auto& [index, name] : {std::pair<std::uint32_t, const char*>{40, "Alt. Rock"}, {40, "Alternative Rock"},
                                    {59, "Gangsta Rap"}, {67, "Psychedelic"}, {81, "Folk-Rock"}, {85, "Bebop"},
                                    {123, "A Cappella"}, {147, "Synthpop"}, {150, "Baroque"}})
    EXPECT_TRUE(id3v1_genre_is_spelling_of(index, name)) << index << " " << name;
  EXPECT_FALSE(id3v1_genre_is_spelling_of(41, "Alt. Rock"));
  EXPECT_FALSE(id3v1_genre_is_spelling_of(192, "192"));
}

// A genre byte names its genre, a byte past the list shows as its number,
// and whatever the block shows is written back as the same byte.
TEST(Id3v1Genres, AGenreByteShowsAndWritesBackAsStored) {
  EXPECT_EQ("Baroque", genre_read_from(150));
  EXPECT_EQ("Psybient", genre_read_from(191));
  EXPECT_EQ("Afro-Punk", genre_read_from(133));
  EXPECT_EQ("200", genre_read_from(200));
  EXPECT_EQ("(none)", genre_read_from(255));

  for (const auto& [genre, byte] : {std::pair<const char*, int>{"Baroque", 150}, {"psybient", 191}, {"Afro-Punk", 133},
                                    {"192", 192}, {"254", 254}, {"255", 255}, {"0200", 255}, {"17", 255},
                                    {"Alt. Rock", 255}}) {
    EXPECT_EQ(byte, id3v1_render_block(with_genre(genre))[127]) << genre;
    EXPECT_EQ(byte != 255, id3v1_can_hold_info(with_genre(genre))) << genre;
  }

  // An edit of another field keeps the byte; an edit of the genre writes it.
  id3v1_block old = id3v1_render_block(with_genre(nullptr));
  old[127] = 200;
  track_info_impl as_read;
  id3v1_parse_block(old.data(), as_read);
  track_info_impl retitled = as_read;
  retitled.set_field("title", track_info::until_nul, "new", track_info::until_nul);
  EXPECT_EQ(200, id3v1_write_changes(old, retitled, tag_changes::between(as_read, retitled))[127]);
  const track_info_impl regenred = with_genre("Psybient");
  EXPECT_EQ(191, id3v1_write_changes(old, regenred, tag_changes::between(as_read, regenred))[127]);
}
