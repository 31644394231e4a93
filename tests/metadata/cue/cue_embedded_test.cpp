#include "metadata/cue/cue_embedded.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/service_factory.h"
#include "foundation/string_buffer.h"
#include "metadata/decoder_message_sink.h"

namespace {

// The field's values joined by ", ", or "<absent>".
std::string field(const track_info& info, const char* name) {
  qiv::string_buffer text;
  return info.get_field_text(name, text) ? text.get_ptr() : "<absent>";
}

using namespace cue_embedded;

class recording_sink : public decoder_message_sink {
public:
  std::vector<std::string> messages;
  void on_message(const char* text, bool) override { messages.push_back(text); }
};

// A sheet that cannot be used must cost the user neither the file nor the
// sheet: one subsong for the whole file, and a tag edit writes it back as it was.
TEST(CueEmbedded, UnusableSheetLeavesOneSubsongKeepsTheTextAndWarns) {
  // A sheet for a longer file: track 2 would end before it starts.
  const std::string two_tracks = "FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 0\nTRACK 02 AUDIO\nINDEX 01 05:00:00\n";
  const struct {
    std::string sheet;
    bool warns;
  } cases[] = {
      {"FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00:00\n", true},
      {"FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 0\nPOSTGAP 00:02:00\n", true},
      {"FILE a.wav WAVE\nTRACK 01 AUDIO\nTITLE x\n", true},  // no INDEX 01
      {two_tracks, true},
      {"REM just a comment\n", false},
  };
  for (const auto& c : cases) {
    track_info_impl file;
    file.set_field("ARTIST", 6, "Tag Band", track_info::until_nul);
    file.set_field("cuesheet", 8, c.sheet.c_str(), track_info::until_nul);
    file.set_length(200.0);
    cue_track_map map;
    service_single_instance<recording_sink> sink;
    ASSERT_NO_THROW(read_track_info(map, file, &sink)) << c.sheet;
    EXPECT_EQ(map.size(), 1u) << c.sheet;
    EXPECT_EQ(sink.messages.size(), c.warns ? 1u : 0u) << c.sheet;
    track_info_impl edited(file);
    edited.set_field("ARTIST", 6, "Edited", 6);
    apply_track_info(map, 0, edited);
    track_info_impl written;
    write_track_info(map, written);
    EXPECT_EQ(field(written, "cuesheet"), c.sheet);
    EXPECT_EQ(field(written, "artist"), "Edited");
  }
}

}  // namespace
