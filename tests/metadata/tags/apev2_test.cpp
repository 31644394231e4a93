#include "metadata/tags/apev2.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "io/io_exceptions.h"
#include "io/memory_file.h"
#include "metadata/tags/id3v1.h"
#include "metadata/tags/tag_changes.h"
#include "metadata/track_info.h"
#include "track_fields_text.h"

namespace {

TEST(Apev2, ItemsToFields) {
  struct item_case {
    const char* why;
    apev2::item_list items;
    const char* fields;
  };
  const item_case cases[] = {
      {"Track n/m", {{false, 0, "Track", "3/12"}}, "totaltracks=12;tracknumber=3;"},
      {"Track /m", {{false, 0, "TRACK", "/12"}}, "totaltracks=12;"},
      {"Disc n", {{false, 0, "Disc", "2"}}, "discnumber=2;"},
      {"Year is the date", {{false, 0, "Year", "1999"}}, "date=1999;"},
      {"zero bytes separate values", {{false, 0, "Artist", std::string("a\0b", 3)}}, "Artist=a,b;"},
      {"read-only text is a field as other readers show it", {{true, 0, "Artist", "x"}}, "Artist=x;"},
      {"binary items are no fields", {{false, 1, "Cover Art (Front)", "x"}}, ""},
      {"invalid field names are skipped", {{false, 0, "a=b", "x"}}, ""},
  };
  for (const item_case& c : cases) {
    track_info_impl info;
    apev2::read_into_track_info(c.items, apev2::version_2, info);
    EXPECT_EQ(c.fields, track_fields_text(info)) << c.why;
  }
}

TEST(Apev2, ParsingStopsQuietlyAtAMalformedItem) {
  apev2::item_list items = {{false, 0, "Title", "t"}, {false, 0, "Artist", "a"}};
  apev2::byte_vector body = apev2::render_tag_bytes(items);
  // The second item's value size claims 20 MiB.
  const std::size_t second = 24 + 4 + 4 + 6 + 1;
  const std::uint32_t huge = 20u << 20;
  std::memcpy(&body[second], &huge, 4);
  apev2::item_list parsed;
  apev2::parse_tag_body(parsed, body.data(), body.size());
  ASSERT_EQ(1u, parsed.size());
  EXPECT_EQ("Title", parsed[0].key);
  EXPECT_THROW(apev2::parse_tag_body(parsed, body.data(), 20), vantrel_io::exception_io_data);
}

// The item bytes of a tag, without header and footer.
apev2::byte_vector item_bytes(const apev2::item_list& items) {
  const apev2::byte_vector whole = apev2::render_tag(items, false);
  return apev2::byte_vector(whole.begin() + 32, whole.end());
}

// A header and a footer that give the size of `body` and `count` items
// around it.
apev2::byte_vector tag_around(const apev2::byte_vector& body, std::uint32_t count) {
  apev2::byte_vector tag = apev2::render_tag({}, true);
  tag.insert(tag.begin() + 32, body.begin(), body.end());
  const std::uint32_t size = std::uint32_t(body.size() + 32);
  for (const std::size_t block : {std::size_t(0), tag.size() - 32}) {
    std::memcpy(&tag[block + 12], &size, 4);
    std::memcpy(&tag[block + 16], &count, 4);
  }
  return tag;
}

// The items of a tag behind 5000 bytes of audio; empty when the reading
// refuses the tag or reads it only in part.
std::optional<apev2::item_list> read_whole(const apev2::byte_vector& tag) {
  const std::string audio(5000, 'a');
  vantrel_io::file_ptr file = vantrel_io::make_memory_file();
  const abort_signal& abort = never_raised_abort_signal();
  file->write(audio.data(), std::uint32_t(audio.size()), abort);
  file->write(tag.data(), std::uint32_t(tag.size()), abort);
  std::uint64_t end = audio.size() + tag.size();
  unsigned version = 0;
  apev2::item_list read;
  try {
    if (!apev2::read_tag_at_end(*file, &read, version, end, abort)) return std::nullopt;
  } catch (const vantrel_io::exception_io_data&) {
    return std::nullopt;
  }
  EXPECT_EQ(end, audio.size());
  return read;
}

apev2::byte_vector joined(std::initializer_list<apev2::byte_vector> parts) {
  apev2::byte_vector out;
  for (const apev2::byte_vector& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

TEST(Apev2, AnItemOfAnySizeTheTagHoldsIsRead) {
  // A cover of 17 MiB, more than a fixed cap once let through, and an item
  // behind it: both read, so a write keeps them instead of refusing.
  const apev2::item_list items = {{false, 1, "Cover Art (Front)", std::string(17u << 20, 'c')},
                                  {false, 0, "Title", "t"}};
  const std::optional<apev2::item_list> read = read_whole(apev2::render_tag(items, true));
  ASSERT_TRUE(read.has_value());
  ASSERT_EQ(2u, read->size());
  EXPECT_EQ(items[0].value.size(), (*read)[0].value.size());
  EXPECT_EQ("t", (*read)[1].value);
}

TEST(Apev2, RoomBehindTheItemsIsReadOnlyWhenAHeaderGivesTheSameSize) {
  const apev2::item_list items = {{false, 1, "Cover Art (Front)", std::string(2000, 'c')}, {false, 0, "Title", "t"}};
  const apev2::byte_vector padded = tag_around(joined({item_bytes(items), apev2::byte_vector(700, 0)}), 2);
  const struct {
    const char* why;
    apev2::byte_vector tag;
    bool readable;
  } cases[] = {
      {"zeros behind the items, header and footer agreeing", padded, true},
      {"without the header", apev2::byte_vector(padded.begin() + 32, padded.end()), false},
      {"something other than zeros behind the items",
       [&] {
         apev2::byte_vector tag = padded;
         tag[tag.size() - 40] = 1;
         return tag;
       }(),
       false},
  };
  for (const auto& c : cases) {
    const std::optional<apev2::item_list> read = read_whole(c.tag);
    ASSERT_EQ(c.readable, read.has_value()) << c.why;
    if (!c.readable) continue;
    ASSERT_EQ(read->size(), 2u) << c.why;
    EXPECT_EQ((*read)[1].value, "t") << c.why;
  }
}

TEST(Apev2, ItemsAnotherTaggerAppendedBehindZerosAreRead) {
  // Another tagger adds its item behind whatever the item area holds, here
  // the zeros an earlier write left behind the items.
  const apev2::item_list ours = {{false, 0, "Title", "t"}, {false, 0, "Mood", "Neu"}};
  const apev2::item_list appended = {{false, 0, "Album", "WVTAG Album"}};
  // A value of 256 bytes: the item's first byte is a zero like the run's.
  const apev2::item_list long_value = {{false, 0, "Comment", std::string(256, 'c')}};
  const auto zeros = [](std::size_t n) { return apev2::byte_vector(n, 0); };
  const struct {
    const char* why;
    apev2::byte_vector tag;
    std::size_t items;  // 0: not read whole
  } cases[] = {
      {"four zeros between", tag_around(joined({item_bytes(ours), zeros(4), item_bytes(appended)}), 3), 3},
      {"a run longer than an item header, then an item beginning with zeros",
       tag_around(joined({item_bytes(ours), zeros(1024), item_bytes(long_value)}), 3), 3},
      {"zeros before the first item and behind the last",
       tag_around(joined({zeros(20), item_bytes(ours), zeros(3), item_bytes(appended), zeros(9)}), 3), 3},
      {"a count one too high", tag_around(joined({item_bytes(ours), zeros(4), item_bytes(appended)}), 4), 0},
      {"a count one too low", tag_around(joined({item_bytes(ours), zeros(4), item_bytes(appended)}), 2), 0},
      {"something other than zeros between",
       tag_around(joined({item_bytes(ours), apev2::byte_vector{0, 0, 7, 0}, item_bytes(appended)}), 3), 0},
      {"without the header",
       [&] {
         const apev2::byte_vector tag = tag_around(joined({item_bytes(ours), zeros(4), item_bytes(appended)}), 3);
         return apev2::byte_vector(tag.begin() + 32, tag.end());
       }(),
       0},
  };
  for (const auto& c : cases) {
    const std::optional<apev2::item_list> read = read_whole(c.tag);
    ASSERT_EQ(c.items != 0, read.has_value()) << c.why;
    if (c.items == 0) continue;
    ASSERT_EQ(c.items, read->size()) << c.why;
    EXPECT_EQ("Mood", (*read)[1].key) << c.why;
    EXPECT_TRUE((*read)[2].key == "Album" || (*read)[2].value == std::string(256, 'c')) << c.why;
  }
}

TEST(Apev2, FieldsToItemsKeepOtherItemsAndCapitaliseKeys) {
  apev2::item_list items = {{false, 1, "Cover Art (Front)", "img"}, {false, 0, "Title", "old"}};
  track_info_impl info;
  info.append_field("album artist", track_info::until_nul, "AA", track_info::until_nul);
  info.append_field("date", track_info::until_nul, "1999", track_info::until_nul);
  info.append_field("totaldiscs", track_info::until_nul, "2", track_info::until_nul);
  // Names no APE key can hold would make other readers reject the whole tag.
  for (const char* unstorable : {"a", "tag", "caf\xC3\xA9"})
    info.append_field(unstorable, track_info::until_nul, "x", track_info::until_nul);
  apev2::write_from_track_info(items, info);
  std::string keys;
  for (const auto& i : items) keys += i.key + "=" + i.value + ";";
  EXPECT_EQ("Cover Art (Front)=img;Disc=/2;Album artist=AA;Year=1999;", keys);
  const apev2::byte_vector whole = apev2::render_tag(items, true);
  EXPECT_EQ(0, std::memcmp(whole.data(), "APETAGEX\xD0\x07\0\0", 12));
  EXPECT_EQ(0xA0, whole[23]);                 // header: has a header, is the header
  EXPECT_EQ(0x80, whole[whole.size() - 9]);   // footer: has a header
}

TEST(Apev2, FieldsNamedLikeItemKeysAreWrittenNotDropped) {
  // "year" and "track" are no fields a reading gives, but a user may add them.
  auto keys = [](const apev2::item_list& items) {
    std::string text;
    for (const auto& i : items) text += i.key + "=" + i.value + ";";
    return text;
  };
  track_info_impl fields;
  fields.append_field("year", track_info::until_nul, "1999", track_info::until_nul);
  fields.append_field("track", track_info::until_nul, "7", track_info::until_nul);
  apev2::item_list items;
  apev2::write_from_track_info(items, fields);
  EXPECT_EQ("Year=1999;Track=7;", keys(items));

  // The same as an edit of a tag that holds other items.
  items = {{false, 0, "Title", "t"}};
  track_info_impl as_read;
  apev2::read_into_track_info(items, apev2::version_2, as_read);
  track_info_impl edited(as_read);
  edited.append_field("year", track_info::until_nul, "1999", track_info::until_nul);
  const tag_changes changes = tag_changes::between(as_read, edited);
  changes.apply_to(as_read);
  apev2::write_changes(items, as_read, changes);
  EXPECT_EQ("Title=t;Year=1999;", keys(items));
}

TEST(Apev2, AnEditReplacesEveryItemOfItsKeyWhateverItsFlags) {
  // Readers that take the first item of a key would show a kept one.
  const apev2::item_list before = {
      {true, 0, "Title", "read-only"},   {false, 1, "Artist", "binary"}, {false, 2, "Album", "http://link"},
      {false, 3, "Genre", "reserved"},   {true, 0, "Comment", "kept"},   {false, 0, "Title", "second"},
      {false, 1, "Cover Art (Front)", "img"},
  };
  apev2::item_list items = before;
  track_info_impl as_read;
  apev2::read_into_track_info(items, apev2::version_2, as_read);
  EXPECT_EQ("Comment=kept;Title=read-only,second;", track_fields_text(as_read));
  track_info_impl edited(as_read);
  for (const char* field : {"title", "artist", "album", "genre"})
    edited.set_field(field, track_info::until_nul, "new", track_info::until_nul);
  const tag_changes changes = tag_changes::between(as_read, edited);
  changes.apply_to(as_read);
  apev2::write_changes(items, as_read, changes);
  const auto list = [](const apev2::item_list& items) {
    std::string text;
    for (const auto& i : items) {
      text += i.key + "=" + i.value + (i.type != 0 ? " type " + std::to_string(i.type) : "");
      text += i.read_only ? " ro;" : ";";
    }
    return text;
  };
  EXPECT_EQ("Title=new;Artist=new;Album=new;Genre=new;Comment=kept ro;Cover Art (Front)=img type 1;", list(items));

  // A whole write the same: no binary item beside a new one of its key.
  items = {{false, 1, "Title", "binary"}, {false, 1, "Cover Art (Front)", "img"}, {true, 0, "Artist", "ro"}};
  track_info_impl fields;
  fields.set_field("title", track_info::until_nul, "t", track_info::until_nul);
  apev2::write_from_track_info(items, fields);
  EXPECT_EQ("Cover Art (Front)=img type 1;Title=t;", list(items));
}

TEST(Id3v1, BlockFields) {
  id3v1_block block{};
  std::memcpy(block.data(), "TAGTitle   ", 11);
  std::memcpy(block.data() + 97, std::string(30, 'c').data(), 30);  // byte 125 is not zero: no track
  block[127] = 200;
  track_info_impl info;
  id3v1_parse_block(block.data(), info);
  // A genre byte past every list shows as its number, as it is stored.
  EXPECT_EQ("title=Title;comment=" + std::string(30, 'c') + ";genre=200;", track_fields_text(info));

  track_info_impl tagged;
  tagged.append_field("comment", track_info::until_nul, std::string(30, 'c').c_str(), 30);
  tagged.append_field("tracknumber", track_info::until_nul, "9", track_info::until_nul);
  tagged.append_field("genre", track_info::until_nul, "Not a genre", track_info::until_nul);
  const id3v1_block rendered = id3v1_render_block(tagged);
  EXPECT_EQ(0, rendered[125]);  // the comment gives way to the track number
  EXPECT_EQ(9, rendered[126]);
  EXPECT_EQ(255, rendered[127]);
}

}  // namespace
