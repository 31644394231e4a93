// Reading cue sheets into tracks. A first pass finds the tracks, their files,
// flags and index times; a second pass collects every track's metadata
// (sheet-level lines first, then the track's own, later lines winning).
#pragma once

#include "io/io_exceptions.h"
#include "metadata/cue/cue_track_list.h"

namespace cue_parser {

// "Error parsing cuesheet: " and the reason, with " (line N)" when a line was at fault.
class exception_bad_cuesheet : public vantrel_io::exception_io_data {
public:
  explicit exception_bad_cuesheet(const char* reason);
};

// Appends the sheet's tracks to `out`; tracks appended before an error stay.
// A time with more than two ':' escapes as the plain std::runtime_error
// "invalid INDEX time syntax".
void parse_cuesheet(const char* text, cue_track_list& out);

// Index 00 <= index 01, and each later index, up to the first that is not
// above 0, no earlier than the one before it.
bool index_list_valid(const index_times& indexes);

// The technical entries "referenced_offset", "pregap" and "index NN" (NN from
// 02, relative to index 01) of a track with these indexes.
void index_fields_to_info(track_info& info, const index_times& indexes);

}  // namespace cue_parser
