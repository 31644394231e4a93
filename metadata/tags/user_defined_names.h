// The names under which fields that no standard frame or item holds are
// stored: an ID3v2 user-defined text frame's description, an MP4 freeform
// item's name. Readers such as mutagen look these names up as written, in
// their letter case, so a name the file already uses is kept, and one made
// anew takes the spelling other taggers write.
#pragma once

#include <string>

// The spelling other taggers give `field` when they store it under a name
// of their own (upper case for the names they share with Vorbis comments,
// "MOOD" and "BARCODE" among them); any other field as it is spelled.
std::string user_defined_name_for(const std::string& field);
