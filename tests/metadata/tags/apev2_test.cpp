#include "metadata/tags/apev2.h"

#include <gtest/gtest.h>

#include <cstring>

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
      {"read-only text is a technical entry", {{true, 0, "Artist", "x"}}, ""},
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

TEST(Apev2, RoomBehindTheItemsIsReadOnlyWhenAHeaderGivesTheSameSize) {
  const apev2::item_list items = {{false, 1, "Cover Art (Front)", std::string(2000, 'c')}, {false, 0, "Title", "t"}};
  apev2::item_list laid_out = {items[1], items[0]};
  apev2::lay_out_for_rewrite(laid_out);
  EXPECT_EQ("Cover Art (Front)", laid_out[0].key) << "large items go first";
  const apev2::byte_vector padded = apev2::render_tag_in_room(items, apev2::items_size(items) + 700);
  EXPECT_TRUE(apev2::render_tag_in_room(items, apev2::items_size(items) - 1).empty());
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
    const std::string audio(5000, 'a');
    vantrel_io::file_ptr file = vantrel_io::make_memory_file();
    const abort_signal& abort = never_raised_abort_signal();
    file->write(audio.data(), std::uint32_t(audio.size()), abort);
    file->write(c.tag.data(), std::uint32_t(c.tag.size()), abort);
    std::uint64_t end = audio.size() + c.tag.size();
    unsigned version = 0;
    apev2::item_list read;
    std::size_t room = 0;
    if (!c.readable) {
      EXPECT_THROW(apev2::read_tag_at_end(*file, &read, version, end, abort, &room), vantrel_io::exception_io_data)
          << c.why;
      continue;
    }
    EXPECT_TRUE(apev2::read_tag_at_end(*file, &read, version, end, abort, &room)) << c.why;
    EXPECT_EQ(end, audio.size()) << c.why;
    EXPECT_EQ(room, apev2::items_size(items) + 700) << c.why;
    ASSERT_EQ(read.size(), 2u) << c.why;
    EXPECT_EQ(read[1].value, "t") << c.why;
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

TEST(Id3v1, BlockFields) {
  id3v1_block block{};
  std::memcpy(block.data(), "TAGTitle   ", 11);
  std::memcpy(block.data() + 97, std::string(30, 'c').data(), 30);  // byte 125 is not zero: no track
  block[127] = 200;
  track_info_impl info;
  id3v1_parse_block(block.data(), info);
  EXPECT_EQ("title=Title;comment=" + std::string(30, 'c') + ";", track_fields_text(info));

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
