#include "metadata/cue/cue_sheet_edit.h"

#include <string>

#include <gtest/gtest.h>

#include "metadata/cue/cue_sheet_reader.h"
#include "tests/metadata/cue/cue_fixtures.h"

namespace {

// The text with `from` replaced by `to`, which must be there once.
std::string replaced_once(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  EXPECT_EQ(text.find(from, at + 1), std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(CueSheetEdit, ChangesOnlyTheTracksLinesOfTheFieldAndKeepsEveryOtherByte) {
  cue_sheet_edit sheet(cue_test::ripper_sheet);
  sheet.set_track_value(2, "TITLE", {"Zweite"});
  sheet.set_track_value(3, "artist", {"Guest", "Band"});  // none yet: added before the indexes
  sheet.set_track_value(1, "isrc", {});
  sheet.set_track_value(2, "comment", {"two words"});
  sheet.set_track_value(1, "replaygain_track_gain", {"-4.00 dB"});
  sheet.set_track_value(2, "album", {"not per track"});
  sheet.set_track_value(1, "composer", {"no line for it"});

  std::string expected = cue_test::ripper_sheet;
  expected = replaced_once(expected, "    TITLE \"Second\"\r\n", "    TITLE \"Zweite\"\r\n");
  expected = replaced_once(expected, "    PREGAP", "    PERFORMER \"Guest, Band\"\r\n    PREGAP");
  expected = replaced_once(expected, "    ISRC USXX19800001\r\n", "");
  expected = replaced_once(expected, "    REM DATE 2001\r\n", "    REM DATE 2001\r\n    REM COMMENT \"two words\"\r\n");
  expected = replaced_once(expected, "GAIN -5.00 dB", "GAIN -4.00 dB");
  EXPECT_EQ(sheet.text(), expected);

  cue_track_list tracks;
  cue_parser::parse_cuesheet(sheet.text().c_str(), tracks);
  ASSERT_EQ(tracks.size(), 3u);
  EXPECT_EQ(cue_test::field(tracks[1].info, "title"), "Zweite");
  EXPECT_EQ(cue_test::field(tracks[2].info, "artist"), "Guest, Band");
  EXPECT_EQ(cue_test::field(tracks[1].info, "artist"), "Guest Singer");
}

TEST(CueSheetEdit, ASheetLevelValueReplacesTheTracksOwnLinesInTheSheetsLineEnds) {
  const std::string text =
      "REM DATE 1990\n"
      "REM COMMENT \"Ripped by someone\"\n"
      "TITLE \"Album\"\n"
      "FILE \"a.wav\" WAVE\n"
      "\tTRACK 01 AUDIO\n"
      "\t\tTITLE \"One\"\n"
      "\t\tREM DATE 1991\n"
      "\t\tINDEX 01 00:00:00\n"
      "\tTRACK 02 AUDIO\n"
      "\t\tINDEX 01 00:10:00";
  cue_sheet_edit sheet(text.c_str());
  sheet.set_sheet_value("date", {"2020"});
  sheet.set_sheet_value("genre", {"Hip Hop"});
  sheet.set_sheet_value("album", {"New Album"});
  sheet.set_sheet_value("comment", {"EAC"});
  sheet.set_sheet_value("title", {"no sheet-level line"});
  sheet.set_track_value(2, "title", {"Two"});
  EXPECT_EQ(sheet.text(),
            "REM DATE 2020\n"
            "REM COMMENT \"EAC\"\n"
            "TITLE \"New Album\"\n"
            "REM GENRE \"Hip Hop\"\n"
            "FILE \"a.wav\" WAVE\n"
            "\tTRACK 01 AUDIO\n"
            "\t\tTITLE \"One\"\n"
            "\t\tINDEX 01 00:00:00\n"
            "\tTRACK 02 AUDIO\n"
            "\t\tTITLE \"Two\"\n"
            "\t\tINDEX 01 00:10:00");
}

TEST(CueSheetEdit, ASheetWithAByteOrderMarkKeepsItAndItsFirstLineIsEdited) {
  const std::string mark = "\xEF\xBB\xBF";
  cue_sheet_edit sheet((mark + cue_test::ripper_sheet).c_str());
  sheet.remove_sheet_value("genre");
  sheet.set_track_value(2, "title", {"Zweite"});
  EXPECT_EQ(sheet.text(), mark + replaced_once(replaced_once(cue_test::ripper_sheet, "REM GENRE Jazz\r\n", ""),
                                          "TITLE \"Second\"", "TITLE \"Zweite\""));
}

}  // namespace
