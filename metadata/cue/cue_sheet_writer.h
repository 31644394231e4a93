// Writing a cue sheet from tracks: a header of the values all tracks share,
// then each track with its own values and indexes, every line ending in CR LF.
#pragma once

#include <string>

#include "metadata/cue/cue_track_list.h"

namespace cue_parser {

// Appends the sheet to `out`; an empty list appends nothing.
void write_cuesheet(std::string& out, const cue_track_list& tracks);

}  // namespace cue_parser
