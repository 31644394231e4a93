// A field set of the MP4 library as a JSON object, {"name": ["value", ...]},
// for the zorvtool commands that show what the library read.
#pragma once

#include <string>

#include "inputs/mp4/tag_fields.h"
#include "metadata/track_info_json.h"

inline void append_mp4_fields_json(std::string& out, const tarnex::tag_fields& fields, const char* separator = ", ") {
  out += "{";
  bool first = true;
  for (const auto& [name, entry] : fields.entries()) {
    out += first ? "" : separator;
    first = false;
    append_json_string(out, name.c_str());
    out += ": [";
    for (std::size_t v = 0; v < entry.values.size(); ++v) {
      if (v != 0) out += ", ";
      append_json_string(out, entry.values[v].c_str());
    }
    out += "]";
  }
  out += "}";
}
