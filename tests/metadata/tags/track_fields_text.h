// A track's fields as one text, "name=v1,v2;name2=v;", for compact expectations.
#pragma once

#include <string>

#include "metadata/track_info.h"

inline std::string track_fields_text(const track_info& info) {
  std::string out;
  for (std::uint32_t i = 0; i < info.field_count(); ++i) {
    out += std::string(info.field_name(i)) + "=";
    for (std::uint32_t v = 0; v < info.field_value_count(i); ++v)
      out += (v ? "," : "") + std::string(info.field_value(i, v));
    out += ";";
  }
  return out;
}
