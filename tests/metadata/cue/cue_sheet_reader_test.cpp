#include "metadata/cue/cue_sheet_reader.h"

#include <string>

#include <gtest/gtest.h>

#include "tests/metadata/cue/cue_fixtures.h"

namespace {

using cue_parser::parse_cuesheet;
using cue_test::field;

std::string tech(const track_info& info, const char* name) {
  auto value = info.tech_value_by_name(name);
  return value ? *value : "<absent>";
}

TEST(CueSheetReader, ReportsEachFaultWithItsMessageAndLine) {
  const std::string file = "FILE \"a.wav\" WAVE\n";
  const std::string track = file + "TRACK 01 AUDIO\n";
  struct fault {
    std::string sheet;
    const char* message;
  } faults[] = {
      {"FILE \"a.wav WAVE\n", "invalid FILE syntax (line 1)"},
      {"FILE a.wav\n", "invalid FILE syntax (line 1)"},
      {"FILE a.ogg OGG\n", "expected WAVE, MP3 or AIFF, got : \"OGG\" (line 1)"},
      {file + "TRACK 1A AUDIO\n", "invalid TRACK syntax (line 2)"},
      {file + "TRACK 100 AUDIO\n", "invalid track number (line 2)"},
      {file + "TRACK 0 AUDIO\n", "invalid track number (line 2)"},
      // 2^32 + 1 must not wrap to track 1.
      {file + "TRACK 4294967297 AUDIO\n", "invalid track number (line 2)"},
      {file + "TRACK 01 MODE1/2352\n", "only tracks of type AUDIO supported (line 2)"},
      {"TRACK 01 AUDIO\n", "declaring a track with no file set (line 1)"},
      {track + "INDEX 100 00:00:00\n", "invalid INDEX syntax (line 3)"},
      {track + "INDEX 01 00:0x:00\n", "invalid INDEX syntax (line 3)"},
      // Times beyond 32 bits of frames saturate and are refused, not wrapped.
      {track + "INDEX 01 954438:00:00\n", "invalid INDEX syntax (line 3)"},
      {track + "PREGAP 99999999999:00:00\n", "invalid PREGAP syntax (line 3)"},
      {track + "TITLE \"a\" b\n", "invalid TITLE syntax (line 3)"},
      {track + "PERFORMER \"a\n", "invalid PERFORMER syntax (line 3)"},
      {"CATALOG\n", "invalid CATALOG syntax (line 1)"},
      {track + "INDEX 01 0\nREM DATE \"1999\n", "invalid REM syntax (line 4)"},
      {track + "INDEX 01 00:00:00\nPOSTGAP 00:02:00\n", "POSTGAP is not supported (line 4)"},
      {track + "INDEX 01 00:00:00\nARRANGER x\n", "unknown cuesheet item (line 4)"},
      // The last track is completed after the last line: no line suffix.
      {track + "TITLE x\n", "INDEX 01 not set"},
      {track + "TRACK 02 AUDIO\n", "INDEX 01 not set (line 3)"},
      // Only the second pass, which ignores lines before TRACK, misses it.
      {file + "INDEX 01 00:00:00\nTRACK 01 AUDIO\n", "INDEX 01 not set"},
      {track + "INDEX 00 00:05:00\nINDEX 01 00:04:00\n", "invalid index list"},
      {track + "INDEX 01 00:05:00\nINDEX 02 00:04:00\n", "invalid index list"},
      // CR-only line ends never count a line.
      {"FILE a.wav WAVE\rTRACK 01 AUDIO\rINDEX 01 0\rBOGUS\r", "unknown cuesheet item (line 1)"},
  };
  for (const auto& f : faults) {
    cue_track_list tracks;
    try {
      parse_cuesheet(f.sheet.c_str(), tracks);
      ADD_FAILURE() << "accepted: " << f.sheet;
    } catch (const cue_parser::exception_bad_cuesheet& e) {
      EXPECT_EQ(std::string(e.what()), std::string("Error parsing cuesheet: ") + f.message) << f.sheet;
    }
  }
}

TEST(CueSheetReader, ReadsRipperSheetsWithEveryCommonCommand) {
  for (const char* sheet : {cue_test::ripper_sheet, cue_test::multi_file_sheet}) {
    cue_track_list tracks;
    ASSERT_NO_THROW(parse_cuesheet(sheet, tracks)) << sheet;
    EXPECT_EQ(tracks.size(), 3u);
  }
  cue_track_list tracks;
  parse_cuesheet(cue_test::ripper_sheet, tracks);
  struct expected_field {
    std::uint32_t track;
    const char* name;
    const char* value;
  } fields[] = {
      {0, "genre", "Jazz"},  // sheet-level REM lines reach every track
      {2, "discid", "2A0B5C03"},
      {0, "comment", "ExactAudioCopy v1.6"},
      {2, "catalog", "0724384260927"},
      {1, "album", "Blue Rooms"},
      {0, "isrc", "USXX19800001"},
      {0, "date", "1998"},
      {1, "date", "2001"},  // the track's own line wins
      {1, "composer", "<absent>"},
      {2, "title", "Say \"Hi\""},
      {2, "tracknumber", "3"},
      {0, "totaltracks", "3"},
      {0, "replaygain_track_peak", "<absent>"},  // into the ReplayGain record instead
  };
  for (const auto& f : fields) EXPECT_EQ(field(tracks[f.track].info, f.name), f.value) << f.name;
  EXPECT_EQ(tracks[0].flags, "DCP");
  EXPECT_FLOAT_EQ(tracks[2].info.get_replaygain().album_gain, -6.5f);
  EXPECT_FLOAT_EQ(tracks[0].info.get_replaygain().track_peak, 0.9f);
  // Track 2: INDEX 00 01:00:00, INDEX 01 01:02:00, INDEX 02 01:12:00.
  EXPECT_DOUBLE_EQ(tracks[1].indexes[0], 60.0);
  EXPECT_EQ(tech(tracks[1].info, "pregap"), "00:02:00");
  EXPECT_EQ(tech(tracks[1].info, "referenced_offset"), "01:02:00");
  EXPECT_EQ(tech(tracks[1].info, "index 02"), "00:10:00");
  // Track 3: PREGAP only, so index 00 lies before index 01.
  EXPECT_DOUBLE_EQ(tracks[2].indexes[1] - tracks[2].indexes[0], 2.0);
}

TEST(CueSheetReader, ReadsASheetSavedWithAByteOrderMark) {
  const std::string marked = std::string("\xEF\xBB\xBF") + cue_test::ripper_sheet;
  cue_track_list tracks;
  ASSERT_NO_THROW(parse_cuesheet(marked.c_str(), tracks));
  ASSERT_EQ(tracks.size(), 3u);
  EXPECT_EQ(field(tracks[2].info, "genre"), "Jazz");  // from the line right after the mark
}


}  // namespace
