#include "metadata/cue/cue_sheet_writer.h"

#include <string>

#include <gtest/gtest.h>

#include "metadata/cue/cue_lines.h"
#include "metadata/cue/cue_sheet_reader.h"
#include "tests/metadata/cue/cue_fixtures.h"

namespace {

TEST(CueSheetWriter, WritesSharedValuesOnceAndTracksInFixedOrder) {
  cue_track_list tracks;
  cue_parser::parse_cuesheet(cue_test::ripper_sheet, tracks);
  std::string sheet;
  cue_parser::write_cuesheet(sheet, tracks);
  EXPECT_EQ(sheet,
            "REM GENRE Jazz\r\n"
            "REM DISCID 2A0B5C03\r\n"
            "REM COMMENT ExactAudioCopy v1.6\r\n"
            "CATALOG 0724384260927\r\n"
            "PERFORMER \"The Quartet\"\r\n"
            "TITLE \"Blue Rooms\"\r\n"
            "REM REPLAYGAIN_ALBUM_GAIN -6.50 dB\r\n"
            "REM REPLAYGAIN_ALBUM_PEAK 0.950000\r\n"
            "FILE \"Blue Rooms.wav\" WAVE\r\n"
            "  TRACK 01 AUDIO\r\n"
            "    TITLE \"Opening\"\r\n"
            "    PERFORMER \"The Quartet\"\r\n"
            "    ISRC USXX19800001\r\n"
            "    REM DATE 1998\r\n"
            "    REM REPLAYGAIN_TRACK_GAIN -5.00 dB\r\n"
            "    REM REPLAYGAIN_TRACK_PEAK 0.900000\r\n"
            "    FLAGS DCP\r\n"
            "    INDEX 01 00:00:00\r\n"
            "  TRACK 02 AUDIO\r\n"
            "    TITLE \"Second\"\r\n"
            "    PERFORMER \"Guest Singer\"\r\n"
            "    REM DATE 2001\r\n"
            "    INDEX 00 01:00:00\r\n"
            "    INDEX 01 01:02:00\r\n"
            "    INDEX 02 01:12:00\r\n"
            "  TRACK 03 AUDIO\r\n"
            "    TITLE \"Say 'Hi'\"\r\n"
            "    PERFORMER \"The Quartet\"\r\n"
            "    REM DATE 1998\r\n"
            "    INDEX 00 02:58:00\r\n"
            "    INDEX 01 03:00:00\r\n");

  // What it wrote reads back to the same tracks and writes the same bytes.
  cue_track_list again;
  cue_parser::parse_cuesheet(sheet.c_str(), again);
  std::string second;
  cue_parser::write_cuesheet(second, again);
  EXPECT_EQ(second, sheet);
}

// Quotes and line breaks inside values must not start a new command.
TEST(CueSheetWriter, KeepsEveryValueOnItsLineAndALeadingGapAsPregap) {
  cue_track_list tracks;
  cue_track_entry& entry = tracks.append_new();
  entry.number = 1;
  entry.file_name = "a\"b.wav";
  entry.indexes[0] = -2.0;  // PREGAP 00:02:00 before INDEX 01 00:00:00
  entry.info.set_field("title", 5, "one\r\ntwo\tthree\nfour", track_info::until_nul);
  entry.info.set_field("artist", 6, "x", 1);
  entry.info.add_field_value(entry.info.find_field("artist"), "y");
  std::string sheet;
  cue_parser::write_cuesheet(sheet, tracks);
  EXPECT_EQ(sheet,
            "PERFORMER \"x, y\"\r\n"
            "FILE \"a'b.wav\" WAVE\r\n"
            "  TRACK 01 AUDIO\r\n"
            "    TITLE \"one\\two_three_four\"\r\n"
            "    PREGAP 00:02:00\r\n"
            "    INDEX 01 00:00:00\r\n");
}

}  // namespace
