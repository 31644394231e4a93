#include "metadata/tags/user_defined_names.h"

#include <cstring>

#include "foundation/byte_compare.h"

namespace {

// Those that taggers built on mutagen write in upper case; ReplayGain's
// names they, like this program, write in lower case.
constexpr const char* upper_case_names[] = {
    "ARTISTS", "ASIN",     "BARCODE", "CATALOGNUMBER", "CONDUCTOR", "DISCSUBTITLE", "DJMIXER",
    "ENGINEER", "ISRC",    "LABEL",   "LANGUAGE",      "LICENSE",   "LYRICIST",     "MEDIA",
    "MIXER",   "MOOD",     "PRODUCER", "REMIXER",      "SCRIPT",    "SUBTITLE",
};

}  // namespace

std::string user_defined_name_for(const std::string& field) {
  for (const char* name : upper_case_names)
    if (qiv::stricmp_ascii_n(field.data(), field.size(), name, std::strlen(name)) == 0) return name;
  return field;
}
