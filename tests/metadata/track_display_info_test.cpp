#include "metadata/track_display_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "io/io_exceptions.h"
#include "metadata/field_name_set.h"
#include "metadata/track_info.h"
#include "metadata_test_streams.h"

namespace {

using namespace field_name_set;

// Fills a record from a real track info: field names compare without case.
track_display_info filled(std::initializer_list<std::pair<const char*, const char*>> fields, double length = 0) {
  track_info_impl info;
  for (const auto& [name, value] : fields) {
    const std::uint32_t field = info.find_field(name);
    if (field == track_info::not_found)
      info.append_field(name, track_info::until_nul, value, track_info::until_nul);
    else
      info.add_field_value(field, value);
  }
  info.set_length(length);
  track_display_info record;
  record.set(date, "stale");
  record.fill_from(info);
  return record;
}

TEST(FieldNameSet, FindsTheEightNamesInAnyCaseOverTheGivenLengthOnly) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"album artist", album_artist}, {"DATE", date}, {"TrackNumberX", track_number},  // only 11 bytes count
      {"Titles", field_count},        {"Titl", field_count}, {"", field_count}};
  for (const auto& [name, expected] : cases) {
    std::uint32_t index = field_count;
    const std::size_t length = std::string(name) == "TrackNumberX" ? 11 : std::strlen(name);
    EXPECT_EQ(find(name, length, index), expected != field_count) << name;
    EXPECT_EQ(index, expected) << name;
  }
}

TEST(DisplayRecordFill, AlbumDiscSuffixesSplitAndTrackNumbersCut) {
  struct { const char* album; const char* name; const char* disc; } cases[] = {
      {"Greatest Hits (Disc 2)", "Greatest Hits", "2"},
      {"Greatest Hits CD2", "Greatest Hits", "2"},
      {"Live disc 03", "Live", "3"},
      {"Box Set   (cd 12)", "Box Set", "12"},
      {" Disc 2", " Disc 2", ""},          // nothing would be left of the name
      {"Discography", "Discography", ""},
      {"Album Disc", "Album Disc", ""},    // no number
      {"Album Disc 99999999999", "Album Disc 99999999999", ""},
  };
  for (const auto& c : cases) {
    const track_display_info record = filled({{"ALBUM", c.album}, {"discnumber", ""}});
    EXPECT_STREQ(record.get(album), c.name) << c.album;
    EXPECT_STREQ(record.get(disc_number), c.disc) << c.album;
  }
  // A track number keeps its leading digits only when more follows them.
  const std::pair<const char*, const char*> numbers[] = {{"07/12", "07"}, {"7", "7"}, {"A1", "A1"}};
  for (const auto& [number, kept] : numbers)
    EXPECT_STREQ(filled({{"tracknumber", number}}).get(track_number), kept);
}

TEST(DisplayRecordFill, SeveralValuesJoinAndStaleFieldsEmpty) {
  const track_display_info record = filled({{"artist", "A"}, {"Artist", "B"}, {"album artist", "V.A."}}, 183.5);
  EXPECT_STREQ(record.get(artist), "A; B");
  EXPECT_STREQ(record.get(album_artist), "V.A.");
  EXPECT_STREQ(record.get(date), "");
  EXPECT_FLOAT_EQ(record.get_length(), 183.5f);
}

TEST(DisplayRecordStream, DamagedBlocksFailAndLeaveTheRecordAsItWas) {
  const std::string eight_empty(8, '\0');
  std::string huge_claim = stored_record(0.0f, std::string(100, 'x'));
  const std::uint32_t claimed = 0xFFFFFFF0u;
  std::memcpy(&huge_claim[4], &claimed, 4);
  const std::string damaged[] = {
      huge_claim,                                                // fails at the end of the data
      stored_record(1.0f, std::string(7, '\0')),                 // seven texts
      stored_record(1.0f, std::string("a\0b\0\0\0\0\0\0\0x", 11)),  // does not end with a NUL
      stored_record(1.0f, std::string(9, '\0')),                 // nine texts
      stored_record(1.0f, eight_empty).substr(0, 12),            // block cut short
      stored_record(1.0f, eight_empty).substr(0, 6),             // header cut short
  };
  for (const std::string& bytes : damaged) {
    track_display_info record;
    record.set(title, "kept");
    string_reader in(bytes);
    EXPECT_THROW(record.read(in, never_raised_abort_signal()), vantrel_io::exception_io_data);
    EXPECT_STREQ(record.get(title), "kept");
  }
}

// The eight texts share one stored block: setting, appending or reading one
// field must leave every other field exactly as it was, whatever the sizes.
TEST(DisplayRecordTexts, EachFieldKeepsItsOwnTextThroughEditsCopiesAndTheStream) {
  const std::string long_text(70000, 'L');  // beyond a 16-bit offset
  const char* const texts[field_count] = {"Sång — 歌", "", long_text.c_str(), "Rock", "", "7", "", "1999"};
  track_display_info record;
  record.set_length(61.25f);
  for (std::uint32_t i = 0; i < field_count; ++i) record.set(i, texts[i]);
  record.append(genre, "Pop");
  record.append(genre, "");  // an empty value is still a value
  record.append(album, "Ünïcode");
  record.set(disc_number, "2\0hidden", 8);  // a text ends at its NUL
  record.set(field_count, "ignored");

  const char* const expected[field_count] = {"Sång — 歌", "", long_text.c_str(), "Rock; Pop; ", "Ünïcode", "7", "2",
                                             "1999"};
  const track_display_info copy = record;
  track_display_info read_back;
  string_reader in(stored_bytes(record));
  read_back.read(in, never_raised_abort_signal());
  const track_display_info* const each_record[] = {&record, &copy, &read_back};
  for (const track_display_info* each : each_record) {
    std::string_view all[field_count];
    each->get_all(all);
    for (std::uint32_t i = 0; i < field_count; ++i) {
      EXPECT_STREQ(each->get(i), expected[i]) << i;
      EXPECT_EQ(all[i], expected[i]) << i;
    }
    EXPECT_STREQ(each->get(field_count), "");
    EXPECT_FLOAT_EQ(each->get_length(), 61.25f);
  }
  EXPECT_TRUE(copy == record);
  EXPECT_TRUE(read_back == record);

  // Emptying every field compares equal to a record never filled, in memory
  // and in the stream, and a field set from another field's text copies it.
  track_display_info emptied = record;
  for (std::uint32_t i = 0; i < field_count; ++i) emptied.set(i, "");
  track_display_info fresh;
  fresh.set_length(61.25f);
  EXPECT_TRUE(emptied == fresh);
  std::string_view all[field_count] = {"stale"};
  emptied.get_all(all);
  for (const std::string_view text : all) EXPECT_TRUE(text.empty());
  EXPECT_EQ(stored_bytes(emptied), stored_record(61.25f, std::string(8, '\0')));
  record.set(title, record.get(album));
  EXPECT_STREQ(record.get(title), "Ünïcode");
  EXPECT_STREQ(record.get(album_artist), long_text.c_str());

  // Records on either side of the sizes where the stored offsets widen.
  for (const std::size_t size : {240u, 246u, 247u, 260u, 65526u, 65527u, 65540u}) {
    track_display_info sized;
    sized.set(title, std::string(size, 't').c_str());
    sized.set(date, "d");
    string_reader sized_in(stored_bytes(sized));
    track_display_info sized_back;
    sized_back.read(sized_in, never_raised_abort_signal());
    for (const track_display_info* each : {&sized, &sized_back}) {
      EXPECT_EQ(std::strlen(each->get(title)), size);
      EXPECT_STREQ(each->get(date), "d") << size;
      EXPECT_STREQ(each->get(genre), "") << size;
    }
  }
}

} // namespace
