#include "metadata/track_display_info.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "io/io_exceptions.h"
#include "metadata/field_name_set.h"
#include "metadata_test_streams.h"

namespace {

using namespace field_name_set;

// A tag record: field names compare without case.
class fake_tags final : public display_field_source {
public:
  fake_tags& add(std::string name, std::string value) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    fields_[name].push_back(std::move(value));
    return *this;
  }
  double get_length() const override { return length; }
  std::uint32_t value_count(const char* name) const override {
    const auto found = fields_.find(lower(name));
    return found == fields_.end() ? 0 : static_cast<std::uint32_t>(found->second.size());
  }
  const char* value(const char* name, std::uint32_t index) const override {
    return fields_.at(lower(name))[index].c_str();
  }
  double length = 0.0;

private:
  static std::string lower(std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
  }
  std::map<std::string, std::vector<std::string>> fields_;
};

track_display_info filled(const fake_tags& tags) {
  track_display_info record;
  record.fill_from(tags);
  return record;
}

const abort_signal& no_abort() { return never_raised_abort_signal(); }

TEST(FieldNameSet, FindsTheEightNamesInAnyCaseAndNothingElse) {
  std::uint32_t index = 99;
  EXPECT_TRUE(find("album artist", 12, index));
  EXPECT_EQ(index, album_artist);
  EXPECT_TRUE(find("DATE", 4, index));
  EXPECT_EQ(index, date);
  EXPECT_TRUE(find("TrackNumberX", 11, index));  // only the given length counts
  EXPECT_EQ(index, track_number);
  EXPECT_FALSE(find("Titles", 6, index));
  EXPECT_FALSE(find("Titl", 4, index));
  EXPECT_FALSE(find("", 0, index));
  EXPECT_STREQ(name_of(disc_number), "DiscNumber");
}

TEST(DisplayRecordFields, SetStopsAtLengthOrNulAndAppendJoinsWithSeparator) {
  track_display_info record;
  record.set(title, "Hello world", 5);
  EXPECT_STREQ(record.get(title), "Hello");
  record.set(artist, std::string("A\0B", 3).c_str(), 3);
  EXPECT_STREQ(record.get(artist), "A");
  record.append(genre, "Rock");
  record.append(genre, "Pop");
  EXPECT_STREQ(record.get(genre), "Rock; Pop");
  EXPECT_STREQ(record.get(99), "");
  record.clear();
  EXPECT_STREQ(record.get(genre), "");
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
    const track_display_info record = filled(fake_tags().add("ALBUM", c.album).add("discnumber", ""));
    EXPECT_STREQ(record.get(album), c.name) << c.album;
    EXPECT_STREQ(record.get(disc_number), c.disc) << c.album;
  }
  // A track number keeps its leading digits only when more follows them.
  for (const char* number : {"07/12", "7", "A1"})
    EXPECT_STREQ(filled(fake_tags().add("tracknumber", number)).get(track_number), std::string(number) == "07/12" ? "07" : number);
}

TEST(DisplayRecordFill, SeveralValuesJoinAndStaleFieldsEmpty) {
  fake_tags tags;
  tags.add("artist", "A").add("Artist", "B").add("album artist", "V.A.");
  tags.length = 183.5;
  track_display_info record;
  record.set(date, "1999");
  record.fill_from(tags);
  EXPECT_STREQ(record.get(artist), "A; B");
  EXPECT_STREQ(record.get(album_artist), "V.A.");
  EXPECT_STREQ(record.get(date), "");
  EXPECT_FLOAT_EQ(record.get_length(), 183.5f);
}

TEST(DisplayRecordStream, RoundTripsEveryFieldAndTheLength) {
  track_display_info record;
  for (std::uint32_t i = 0; i < field_count; ++i) record.set(i, (std::string("field ") + name_of(i)).c_str());
  record.set(genre, "");
  record.set_length(-1.0f);
  string_writer out;
  record.write(out, no_abort());
  EXPECT_EQ(out.bytes().size(), 8u + out.bytes()[4]);

  string_reader in(out.bytes());
  track_display_info back;
  back.read(in, no_abort());
  EXPECT_EQ(back, record);
  EXPECT_EQ(in.position(), out.bytes().size());
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
    EXPECT_THROW(record.read(in, no_abort()), vantrel_io::exception_io_data);
    EXPECT_STREQ(record.get(title), "kept");
  }
}

} // namespace
