// A cue sheet's text with single values changed in place: the lines that
// carry one field of one track, or of the whole sheet, are replaced, added
// or removed, and every other line stays as it was, so the layout, the line
// ends, a byte-order mark and REM lines this program does not read survive
// an edit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class cue_sheet_edit {
public:
  explicit cue_sheet_edit(const char* text);

  // Whether the field has a line of its own in a track, or at sheet level
  // (before the first TRACK), where it stands for every track without one.
  static bool has_track_line(const char* field);
  static bool has_sheet_line(const char* field);

  // The track's lines of the field take the values (joined by ", "); one is
  // added after its TRACK line when it has none. No values, or only empty
  // text, removes them. A field without track lines is left alone.
  void set_track_value(std::uint32_t track, const char* field, const std::vector<std::string>& values);
  // The sheet-level line takes the values and the tracks' own lines of the
  // field go, so every track reads them. A field without a sheet-level line
  // is left alone.
  void set_sheet_value(const char* field, const std::vector<std::string>& values);
  // The sheet-level line of the field goes; the tracks' own lines stay.
  void remove_sheet_value(const char* field);
  // The sheet-level PERFORMER goes; the tracks' own stay. It is the album
  // artist beside tracks with other performers, and the artist of each track
  // without a PERFORMER of its own, so it has no single field.
  void remove_sheet_performer();

  std::string text() const;

  // One line of the text as it was read or added.
  struct line {
    std::string text;
    std::string end;      // the line end as found: CR LF, LF, CR or none
    std::uint32_t track;  // the TRACK the line follows; 0 before the first one
  };

private:
  std::string byte_order_mark_;
  std::vector<line> lines_;
  std::string line_end_ = "\r\n";
};
