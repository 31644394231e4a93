// The JSON form of a track_info, for diagnostics and scripts reading what an
// input reported: fields by their stored names with every value in an array,
// technical entries, length and ReplayGain (absent values as null).
#pragma once

#include <string>

#include "metadata/track_info.h"

// Appends one JSON object. `indent` spaces prefix every line after the first,
// so the object nests inside a larger document. Texts that are not valid
// UTF-8 have each bad byte replaced by U+FFFD: the output is always valid JSON.
void append_track_info_json(std::string& out, const track_info& info, unsigned indent = 0);

// Appends `text` as a quoted JSON string.
void append_json_string(std::string& out, const char* text);
