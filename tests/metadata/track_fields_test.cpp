#include "metadata/track_fields.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/string_small.h"
#include "metadata/title_script.h"
#include "metadata/track_handle_registry.h"

namespace {

using namespace field_name_set;

class text_output final : public title_field_output {
public:
  void write(const GUID&, const char* text, std::size_t length) override {
    this->text.append(text, length == title_until_nul ? std::strlen(text) : length);
  }
  std::string text;
};

struct field_result {
  bool handled;
  bool found;
  std::string text;
};

field_result field(const track_display_info& record, const char* path, std::uint32_t subsong, const char* name) {
  text_output out;
  bool found = false;
  const bool handled =
      track_fields::process_field(record, track_location(path, subsong), out, name, std::strlen(name), found);
  return {handled, found, out.text};
}

std::string text_of(const track_display_info& record, const char* name, const char* path = "unclaimed://C:\\Music\\a.mp3") {
  return field(record, path, 0, name).text;
}

track_display_info with(std::uint32_t index, const char* text) {
  track_display_info record;
  record.set(index, text);
  return record;
}

TEST(TrackFieldsNames, CompareWithoutCaseOverTheWholeName) {
  const track_display_info record = with(artist, "A");
  EXPECT_EQ(text_of(record, "FileName"), text_of(record, "filename"));
  EXPECT_EQ(text_of(record, "ARTIST"), "A");
  EXPECT_FALSE(field(record, "x", 0, "artists").handled);
  EXPECT_FALSE(field(record, "x", 0, "comment").handled);
}

TEST(TrackFieldsPaths, NamePartsOfThePath) {
  const track_display_info empty;
  const char* path = "unclaimed://C:\\Music\\a.mp3";
  EXPECT_EQ(text_of(empty, "filename_ext", path), "a.mp3");
  EXPECT_EQ(text_of(empty, "filename", path), "a");
  EXPECT_EQ(text_of(empty, "directory", path), "Music");
  EXPECT_EQ(field(empty, path, 2, "filename_sort").text, "a|0000000002");
  EXPECT_EQ(field(empty, path, 2, "subsong").text, "2");
  EXPECT_EQ(field(empty, "", 0, "path").text, "n/a");
  const field_result no_folder = field(empty, "a.mp3", 0, "directory");
  EXPECT_TRUE(no_folder.handled);
  EXPECT_FALSE(no_folder.found);
  EXPECT_EQ(no_folder.text, "?");
}

TEST(TrackFieldsTitle, FallsBackToTheFileName) {
  EXPECT_EQ(text_of(track_display_info(), "title"), "a");
  EXPECT_EQ(text_of(with(title, "Song; Remix"), "title"), "Song, Remix");
}

TEST(TrackFieldsTrackNumber, PadsOneDigitAndIsMissingWhenEmpty) {
  EXPECT_EQ(text_of(with(track_number, "3"), "tracknumber"), "03");
  EXPECT_EQ(text_of(with(track_number, "12"), "tracknumber"), "12");
  EXPECT_EQ(text_of(with(track_number, "3/12"), "tracknumber"), "3/12");
  const field_result missing = field(track_display_info(), "x", 0, "tracknumber");
  EXPECT_TRUE(missing.handled);
  EXPECT_FALSE(missing.found);
  EXPECT_EQ(missing.text, "?");
}

TEST(TrackFieldsLength, RoundsAndIsMissingWhenUnknown) {
  track_display_info record;
  record.set_length(179.5f);
  EXPECT_EQ(text_of(record, "length_seconds"), "180");
  EXPECT_EQ(text_of(record, "length"), "3:00");
  record.set_length(0.0f);
  const field_result unknown = field(record, "x", 0, "length");
  EXPECT_FALSE(unknown.found);
  EXPECT_EQ(unknown.text, "?");
}

TEST(TrackFieldsArtists, ArtistAndAlbumArtistStandInForEachOther) {
  EXPECT_EQ(text_of(with(album_artist, "Band"), "artist"), "Band");
  EXPECT_EQ(text_of(with(artist, "Singer"), "album artist"), "Singer");

  track_display_info both = with(artist, "Singer");
  both.set(album_artist, "Band");
  EXPECT_EQ(text_of(both, "TRACK ARTIST"), "Singer");
  both.set(album_artist, "Singer");
  EXPECT_FALSE(field(both, "x", 0, "track artist").handled);
  EXPECT_FALSE(field(with(artist, "Singer"), "x", 0, "track artist").handled);
}

TEST(TrackFieldsRecord, SeveralValuesShowWithCommas) {
  EXPECT_EQ(text_of(with(genre, "Rock; Pop"), "genre"), "Rock, Pop");
  EXPECT_EQ(text_of(with(disc_number, "2"), "discnumber"), "2");
  EXPECT_FALSE(field(track_display_info(), "x", 0, "date").handled);
}

std::string evaluated(const track_handle_ptr& handle, const char* script_text) {
  qiv::string_small out;
  handle->evaluate_script_locked(nullptr, out, *title_script::compile(script_text));
  return out.get_ptr();
}

TEST(TrackHandleScripts, EvaluateAgainstTheCachedRecord) {
  const track_handle_ptr handle =
      track_handle_registry::get_handle(track_location("unclaimed://C:\\Music\\song.flac", 0));
  EXPECT_EQ(evaluated(handle, "%title%[ - %length%]"), "song");
  track_display_info record = with(title, "Tune");
  record.set(track_number, "3");
  record.set_length(61.0f);
  ASSERT_TRUE(handle->set_info(record, 100, 0, false));
  EXPECT_EQ(evaluated(handle, "%tracknumber%. %title%[ - %length%] %comment%"), "03. Tune - 1:01 ?");
}

} // namespace
