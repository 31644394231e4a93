#include "metadata/track_info_json.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "foundation/utf8.h"

namespace {

constexpr char replacement_character[] = "\xEF\xBF\xBD";

template <class Number>
void append_number(std::string& out, Number value) {
  // JSON has no NaN or infinity.
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void append_gain(std::string& out, float gain) {
  if (replaygain_info::gain_present(gain)) append_number(out, gain);
  else out += "null";
}

void append_peak(std::string& out, float peak) {
  if (replaygain_info::peak_present(peak)) append_number(out, peak);
  else out += "null";
}

} // namespace

void append_json_string(std::string& out, const char* text) {
  out += '"';
  const char* p = text;
  while (*p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x80) {
      switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          static const char hex[] = "0123456789abcdef";
          out += "\\u00";
          out += hex[c >> 4];
          out += hex[c & 15];
        } else {
          out += char(c);
        }
      }
      ++p;
      continue;
    }
    std::uint32_t code_point = 0;
    const std::size_t length = qiv::utf8_decode_char(p, code_point);
    // Surrogates and code points past U+10FFFF are not text a JSON reader accepts.
    const bool usable = length > 0 && code_point <= 0x10FFFF && (code_point < 0xD800 || code_point > 0xDFFF);
    if (usable) {
      out.append(p, length);
      p += length;
    } else {
      out += replacement_character;
      ++p;
    }
  }
  out += '"';
}

void append_track_info_json(std::string& out, const track_info& info, unsigned indent) {
  const std::string pad(indent, ' ');
  out += "{\n";
  out += pad + "  \"fields\": {";
  const std::uint32_t fields = info.field_count();
  for (std::uint32_t f = 0; f < fields; ++f) {
    out += f == 0 ? "\n" : ",\n";
    out += pad + "    ";
    append_json_string(out, info.field_name(f));
    out += ": [";
    const std::uint32_t values = info.field_value_count(f);
    for (std::uint32_t v = 0; v < values; ++v) {
      if (v > 0) out += ", ";
      append_json_string(out, info.field_value(f, v));
    }
    out += ']';
  }
  out += fields == 0 ? "},\n" : "\n" + pad + "  },\n";

  out += pad + "  \"technical\": {";
  const std::uint32_t techs = info.tech_count();
  for (std::uint32_t t = 0; t < techs; ++t) {
    out += t == 0 ? "\n" : ",\n";
    out += pad + "    ";
    append_json_string(out, info.tech_name(t));
    out += ": ";
    append_json_string(out, info.tech_value(t));
  }
  out += techs == 0 ? "},\n" : "\n" + pad + "  },\n";

  out += pad + "  \"length\": ";
  append_number(out, info.get_length());
  out += ",\n";

  const replaygain_info gain = info.get_replaygain();
  out += pad + "  \"replaygain\": {\"album_gain\": ";
  append_gain(out, gain.album_gain);
  out += ", \"track_gain\": ";
  append_gain(out, gain.track_gain);
  out += ", \"album_peak\": ";
  append_peak(out, gain.album_peak);
  out += ", \"track_peak\": ";
  append_peak(out, gain.track_peak);
  out += "}\n" + pad + "}";
}
