#include "playback/inputs/mpeg/mpeg_input.h"

#include <gtest/gtest.h>

#include <string>

#include "core/advanced_settings_registrations.h"
#include "metadata/input_dispatch.h"
#include "metadata/tags/apev2.h"
#include "metadata/tags/tag_services.h"
#include "metadata/tags/trailing_tags.h"
#include "metadata/track_info_json.h"
#include "tests/io/io_test_support.h"
#include "tests/metadata/tags/id3v2_test_bytes.h"

namespace {

TEST(MpegInput, ClaimsFilesAndStreamAddresses) {
  const struct {
    const char* path;
    const char* extension;
    bool claimed;
    const char* why;
  } cases[] = {
      {"C:\\a.MP3", "MP3", true, "extension without regard to case"},
      {"C:\\a.mp2", "mp2", true, "layer II"},
      {"C:\\a.mp1", "Mp1", true, "layer I"},
      {"C:\\a.mpc", "mpc", false, "another format"},
      {"http://radio.example", "example", true, "an address without a path"},
      {"http://radio.example/live", "example/live", true, "a path without a dot"},
      {"http://radio.example/a.ogg", "ogg", false, "a path naming another format's file"},
      {"http://radio.example/live?x=a.b", "b", true, "the only dot stands in the query"},
      {"https://radio.example/live", "example/live", false, "only plain http addresses"},
      {"HTTP://radio.example/live", "example/live", false, "the scheme matches with case"},
  };
  for (const auto& c : cases) EXPECT_EQ(mpeg_is_our_path(c.path, c.extension), c.claimed) << c.why;
  EXPECT_TRUE(mpeg_is_our_content_type("audio/mpeg"));
  EXPECT_FALSE(mpeg_is_our_content_type("audio/MPEG")) << "MIME types match with case";
}

TEST(MpegInput, TagKindsWrittenFollowTheFileAndTheScheme) {
  using namespace tag_services;
  using namespace advanced_settings;
  const struct {
    const char* tagtype;
    bool id3v1_holds;
    advanced_setting_radio* scheme;
    unsigned kinds;
    const char* why;
  } cases[] = {
      {"id3v2.3|id3v1", false, &tag_scheme_ape, kind_id3v2 | kind_id3v1, "present kinds are kept"},
      {"APEv2", false, &tag_scheme_id3v2, kind_apev2, "names compare without case"},
      {"id3v1", true, &tag_scheme_ape, kind_id3v1, "an ID3v1 tag that holds the info stays alone"},
      {"id3v1", false, &tag_scheme_id3v2, kind_id3v2 | kind_id3v1, "a too small ID3v1 tag stays beside the scheme"},
      {"", false, &tag_scheme_id3v2_id3v1, kind_id3v2 | kind_id3v1, "the default scheme"},
      {"", false, &tag_scheme_ape_id3v1, kind_apev2 | kind_id3v1, "APE + ID3v1"},
      {"||", false, &tag_scheme_ape, kind_apev2, "runs of separators name nothing"},
      {"", false, nullptr, kind_id3v2 | kind_id3v1, "no choice selected"},
  };
  advanced_setting_radio* all[] = {&tag_scheme_id3v2_id3v1, &tag_scheme_id3v2, &tag_scheme_ape_id3v1, &tag_scheme_ape};
  for (const auto& c : cases) {
    for (auto* choice : all) choice->set_state(choice == c.scheme);
    EXPECT_EQ(mpeg_tag_kinds_to_write(c.tagtype, c.id3v1_holds), c.kinds) << c.why;
  }
  for (auto* choice : all) choice->reset();
}

std::string info_json(const char* path, bool as_writer, const std::string& title = "") {
  raisable_abort_signal abort;
  track_info_impl info;
  if (!as_writer) {
    info_reader_ptr reader;
    input_dispatch::open_info_reader(reader, vantrel_io::file_ptr(), path, abort);
    reader->get_info(0, info, abort);
  } else {
    info_writer_ptr writer;
    input_dispatch::open_info_writer(writer, vantrel_io::file_ptr(), path, abort);
    writer->get_info(0, info, abort);
    info.set_field("title", track_info::until_nul, title.c_str(), title.size());
    writer->set_info(0, info, abort);
    writer->commit(abort);
    info.reset();
    writer->get_info(0, info, abort);
  }
  std::string text;
  append_track_info_json(text, info);
  return text;
}

TEST(MpegInput, TheInfoAWriterReportsAfterItsWriteIsWhatAFreshReadGives) {
  using namespace id3v2_test;
  (void)&find_trailing_tags;  // keeps the tag services' registrations linked
  (void)&id3v2_read_tag_from_file;
  io_test::build_registry();
  bytes audio;
  for (int i = 0; i < 40; ++i) audio = audio + bytes{0xFF, 0xFB, 0x90, 0x64} + bytes(413, 0x11);
  const bytes picture = bytes{0} + text("image/jpeg") + bytes{0, 3, 0} + bytes{0xFF, 0xD8, 0xFF, 0xE0} + bytes(3000, 7);
  const bytes fields = frame("TIT2", latin("old"), true) + frame("TPE1", latin("artist"), true) +
                       frame("TXXX", latin("replaygain_track_gain") + bytes{0} + text("-2.50 dB"), true);
  const bytes ape = apev2::render_tag({{false, 0, "replaygain_album_gain", "-4.00 dB"}}, true);
  const bytes id3v1 = text("TAG") + bytes(125, 0);
  const bytes fields_v3 = frame("TIT2", latin("old")) + frame("TPE1", latin("artist")) +
                          frame("TXXX", latin("replaygain_track_gain") + bytes{0} + text("-2.50 dB"));
  // A variable bitrate stream: its first frame holds a Xing header with the
  // frame and byte counts and an encoder's delay and padding, which set the
  // length; the frames that follow vary in size.
  bytes xing_frame = bytes{0xFF, 0xFB, 0x90, 0x64} + bytes(32, 0) + text("Xing") + be32(3) + be32(40) +
                     be32(20 * 208 + 20 * 522) + bytes(120 - 16, 0) + text("LAME3.100") + bytes(12, 0) + bytes{0x24, 0x00, 0x48};
  xing_frame.resize(417, 0);
  bytes vbr = xing_frame;
  for (int i = 0; i < 40; ++i)
    vbr = vbr + (i % 2 ? bytes{0xFF, 0xFB, 0x50, 0x64} + bytes(204, 0x22) : bytes{0xFF, 0xFB, 0xB0, 0x64} + bytes(518, 0x33));
  const struct {
    const char* why;
    bytes content;
  } cases[] = {
      {"version 2.4 with a picture, APEv2 and ID3v1", tag(4, fields + frame("APIC", picture, true) + bytes(600, 0)) +
                                                          audio + ape + id3v1},
      {"a tag too small for the new title", tag(4, fields) + audio},
      {"no tag at all", audio},
      {"version 2.3 with ID3v1", tag(3, fields_v3 + bytes(400, 0)) + audio + id3v1},
      {"version 2.3 with APEv2 only at the end", tag(3, fields_v3 + bytes(400, 0)) + audio + ape},
      {"ID3v1 alone", audio + id3v1},
      {"APEv2 alone", audio + ape},
      {"variable bitrate with a Xing header", tag(4, fields + bytes(400, 0)) + vbr + id3v1},
      {"variable bitrate, the tag grows", tag(4, fields) + vbr},
  };
  for (const auto& c : cases) {
    io_test::scratch_folder folder;
    const std::string path = folder.file_url("a.mp3");
    io_test::write_file(folder.path("a.mp3"), std::string(c.content.begin(), c.content.end()));
    const std::string before = info_json(path.c_str(), false);
    EXPECT_NE(before.find("\"samplerate\""), std::string::npos) << c.why;
    const std::string reported = info_json(path.c_str(), true, "new title");
    EXPECT_EQ(reported, info_json(path.c_str(), false)) << c.why;
    EXPECT_NE(reported.find("new title"), std::string::npos) << c.why;
  }
}

// A writer that writes twice in a row knows where the audio begins after
// its first write moved it: the second write is neither refused nor aimed
// at the old place.
TEST(MpegInput, AWriterWritesAgainAfterItsFirstWriteMovedTheAudio) {
  using namespace id3v2_test;
  io_test::build_registry();
  bytes audio;
  for (int i = 0; i < 12; ++i) audio = audio + bytes{0xFF, 0xFB, 0x90, 0x64} + bytes(413, 0x11);
  const bytes comment = frame("COMM", bytes{0} + text("eng") + bytes{0} + text(std::string(30000, 'c')), true);
  const bytes content = tag(4, frame("TIT2", latin("old"), true) + comment) + audio;
  io_test::scratch_folder folder;
  const std::string path = folder.file_url("a.mp3");
  io_test::write_file(folder.path("a.mp3"), std::string(content.begin(), content.end()));
  raisable_abort_signal abort;
  info_writer_ptr writer;
  input_dispatch::open_info_writer(writer, vantrel_io::file_ptr(), path.c_str(), abort);
  track_info_impl info;
  writer->get_info(0, info, abort);
  info.remove_all_fields();
  info.set_field("title", track_info::until_nul, "first", 5);
  writer->set_info(0, info, abort);
  info.reset();
  writer->get_info(0, info, abort);
  info.set_field("title", track_info::until_nul, "second", 6);
  EXPECT_NO_THROW(writer->set_info(0, info, abort));
  writer->commit(abort);
  std::string reported;
  info.reset();
  writer->get_info(0, info, abort);
  append_track_info_json(reported, info);
  writer.reset();
  EXPECT_EQ(reported, info_json(path.c_str(), false));
  EXPECT_NE(reported.find("second"), std::string::npos);
  EXPECT_EQ(reported.find("ccc"), std::string::npos);
}

}  // namespace
