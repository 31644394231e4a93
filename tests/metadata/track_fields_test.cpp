#include "metadata/track_fields.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/string_small.h"
#include "metadata/title/title_script.h"
#include "metadata/track_handle_registry.h"

namespace {

using namespace field_name_set;

struct record_field {
  std::uint32_t index;
  const char* text;
};

// Scripts run through a real track handle, as lists and sort keys run them.
// (How a scheme shows its paths is the scheme's: paths here have none.)
class TrackFields : public ::testing::Test {
protected:
  std::string run(const char* script, std::initializer_list<record_field> fields = {}, float length = 0.0f,
                  const char* path = "C:\\Music\\a.mp3", std::uint32_t subsong = 0) {
    track_display_info record;
    for (const record_field& field : fields) record.set(field.index, field.text);
    record.set_length(length);
    const track_handle_ptr handle = track_handle_registry::get_handle(track_location(path, subsong));
    handle->set_info(record, 0, 0, true);
    qiv::string_small out;
    handle->evaluate_script_locked(nullptr, out, *title_script::compile(script));
    return out.get_ptr();
  }
};

TEST_F(TrackFields, ComputedFieldsOfTheLocationAndLength) {
  EXPECT_EQ(run("%FileName%|%filename_ext%|%directory%|%path%"), "a|a.mp3|Music|C:\\Music\\a.mp3");
  EXPECT_EQ(run("%filename_sort%|%path_sort%|%subsong%", {}, 0, "C:\\Music\\a.mp3", 2),
            "a|0000000002|C:\\Music\\a.mp3|0000000002|2");
  EXPECT_EQ(run("%path%", {}, 0, ""), "n/a");
  EXPECT_EQ(run("<%directory%>[%directory%]", {}, 0, "a.mp3"), "<?>");  // no folder: "?" and not found
  EXPECT_EQ(run("%length_seconds%|%length%|%length_ex%", {}, 179.5f), "180|3:00|2:59.500");
  EXPECT_EQ(run("<%length%>[%length_seconds%]", {}, 0.0f), "<?>");
}

TEST_F(TrackFields, TitleAndTrackNumber) {
  EXPECT_EQ(run("%title%"), "a");  // no title: the file name
  EXPECT_EQ(run("%title%", {{title, "Song; Remix"}}), "Song, Remix");
  EXPECT_EQ(run("%tracknumber%", {{track_number, "3"}}), "03");
  EXPECT_EQ(run("%tracknumber%", {{track_number, "12"}}), "12");
  EXPECT_EQ(run("%tracknumber%", {{track_number, "3/12"}}), "3/12");
  EXPECT_EQ(run("<%tracknumber%>[%tracknumber%]"), "<?>");
}

TEST_F(TrackFields, RecordFieldsWithArtistFallBacks) {
  EXPECT_EQ(run("%artist%", {{album_artist, "Band"}}), "Band");
  EXPECT_EQ(run("%ALBUM ARTIST%", {{artist, "Singer"}}), "Singer");
  EXPECT_EQ(run("%TRACK ARTIST%", {{artist, "Singer"}, {album_artist, "Band"}}), "Singer");
  EXPECT_EQ(run("<%track artist%>", {{artist, "Singer"}, {album_artist, "Singer"}}), "<?>");
  EXPECT_EQ(run("<%track artist%>", {{artist, "Singer"}}), "<?>");
  EXPECT_EQ(run("%genre%|%discnumber%|%date%|%album%", {{genre, "Rock; Pop"}, {disc_number, "2"}, {date, "1999"},
                                                        {album, "A"}}),
            "Rock, Pop|2|1999|A");
  EXPECT_EQ(run("<%date%>[%comment%]<%comment%>"), "<?><?>");  // empty or not a record field
}

// Functions over fields of a real track: the text before and after a call
// stays, and fields feed calls nested in calls.
TEST_F(TrackFields, ComposeWithFunctions) {
  const std::initializer_list<record_field> fields = {{title, "Tune"}, {artist, "Sigur"}, {track_number, "7"}};
  EXPECT_EQ(run("[%album% - ]%tracknumber%. $upper(%title%)!", fields), "07. TUNE!");
  EXPECT_EQ(run("q$ansi(%title%)$ascii(%artist%)", fields), "qTuneSigur");
  EXPECT_EQ(run("$puts([%album%],x)<$get([%album%])>$if($stricmp(%artist%,SIGUR),same)", fields), "<>same");
  EXPECT_EQ(run("$replace(%title%,u,oo)|$strstr(%path%,a.mp3)", fields), "Toone|10");
  EXPECT_EQ(run("$num(%tracknumber%,3)|$directory(%path%)", fields), "007|Music");
}

} // namespace
