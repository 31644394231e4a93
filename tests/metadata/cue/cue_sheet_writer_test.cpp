#include "metadata/cue/cue_sheet_writer.h"

#include <string>

#include <gtest/gtest.h>

#include "metadata/cue/cue_lines.h"

namespace {

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
