#include "metadata/cue/cue_lines.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "foundation/byte_compare.h"
#include "foundation/number_format.h"

namespace cue_parser {
namespace {

constexpr std::uint32_t max_u32 = std::numeric_limits<std::uint32_t>::max();

// A cursor over one line (no NUL inside, no line end).
struct line_cursor {
  const char* p;
  const char* end;

  bool at_end() const { return p == end; }
  void skip_blanks() {
    while (p < end && is_blank(*p)) ++p;
  }
  std::string_view word() {
    const char* start = p;
    while (p < end && !is_blank(*p)) ++p;
    return {start, std::size_t(p - start)};
  }
  // Only blanks up to the end of the line.
  bool only_blanks_left() {
    skip_blanks();
    return at_end();
  }
};

bool all_of(std::string_view text, const char* allowed_extra) {
  for (char c : text) {
    if ((c < '0' || c > '9') && !std::strchr(allowed_extra, c)) return false;
  }
  return true;
}

// Saturates instead of wrapping, so a huge number cannot pass as a small one.
std::uint32_t decimal_saturated(std::string_view digits) {
  std::uint64_t value = 0;
  for (char c : digits) {
    value = value * 10 + std::uint64_t(c - '0');
    if (value > max_u32) return max_u32;
  }
  return static_cast<std::uint32_t>(value);
}

std::uint32_t time_or_fail(std::string_view text, const char* message) {
  bool overflowed = false;
  const std::uint32_t frames = parse_time(text.data(), text.size(), &overflowed);
  if (overflowed) fail(message);
  return frames;
}

void parse_file(line_cursor& line, cue_handler& handler) {
  std::string_view name;
  if (!line.at_end() && *line.p == '"') {
    const char* start = line.p + 1;
    const void* quote = std::memchr(start, '"', std::size_t(line.end - start));
    if (!quote) fail("invalid FILE syntax");
    name = {start, std::size_t(static_cast<const char*>(quote) - start)};
    line.p = static_cast<const char*>(quote) + 1;
  } else {
    name = line.word();
  }
  line.skip_blanks();
  const std::string_view type = line.word();
  if (!line.only_blanks_left() || name.empty() || type.empty()) fail("invalid FILE syntax");
  handler.on_file(name.data(), name.size(), type.data(), type.size());
}

void parse_track(line_cursor& line, cue_handler& handler) {
  const std::string_view number = line.word();
  if (!all_of(number, "")) fail("invalid TRACK syntax");
  line.skip_blanks();
  const std::string_view type = line.word();
  if (!line.only_blanks_left() || type.empty() || number.empty()) fail("invalid TRACK syntax");
  const std::uint32_t value = decimal_saturated(number);
  if (value < 1 || value > 99) fail("invalid track number");
  handler.on_track(value, type.data(), type.size());
}

void parse_index(line_cursor& line, cue_handler& handler) {
  const std::string_view number = line.word();
  line.skip_blanks();
  const std::string_view time = line.word();
  if (!line.only_blanks_left() || number.empty() || time.empty() || !all_of(number, "") || !all_of(time, ":") ||
      decimal_saturated(number) > 99) {
    fail("invalid INDEX syntax");
  }
  const std::uint32_t frames = time_or_fail(time, "invalid INDEX syntax");
  handler.on_index(decimal_saturated(number), frames);
}

void parse_pregap(line_cursor& line, cue_handler& handler) {
  const std::string_view time = line.word();
  if (!line.only_blanks_left() || time.empty() || !all_of(time, ":")) fail("invalid PREGAP syntax");
  handler.on_pregap(time_or_fail(time, "invalid PREGAP syntax"));
}

// A quoted value ends at the next quote and only blanks may follow it; an
// unquoted one is the whole rest, trailing blanks and quotes included.
std::string_view text_value(line_cursor& line, const char* message) {
  if (line.at_end()) fail(message);
  if (*line.p != '"') return {line.p, std::size_t(line.end - line.p)};
  const char* start = line.p + 1;
  const void* quote = std::memchr(start, '"', std::size_t(line.end - start));
  if (!quote) fail(message);
  line.p = static_cast<const char*>(quote) + 1;
  if (!line.only_blanks_left()) fail(message);
  return {start, std::size_t(static_cast<const char*>(quote) - start)};
}

std::string_view whole_rest(line_cursor& line, const char* message) {
  if (line.at_end()) fail(message);
  return {line.p, std::size_t(line.end - line.p)};
}

void parse_line(const char* text, std::size_t length, cue_handler& handler) {
  line_cursor line{text, text + length};
  const std::string_view command = line.word();
  line.skip_blanks();
  auto is = [&](const char* name) {
    return qiv::stricmp_ascii_n(command.data(), command.size(), name, std::strlen(name)) == 0;
  };
  if (is("FILE")) {
    parse_file(line, handler);
  } else if (is("TRACK")) {
    parse_track(line, handler);
  } else if (is("INDEX")) {
    parse_index(line, handler);
  } else if (is("PREGAP")) {
    parse_pregap(line, handler);
  } else if (is("TITLE")) {
    const auto value = text_value(line, "invalid TITLE syntax");
    handler.on_title(value.data(), value.size());
  } else if (is("PERFORMER")) {
    const auto value = text_value(line, "invalid PERFORMER syntax");
    handler.on_performer(value.data(), value.size());
  } else if (is("SONGWRITER")) {
    const auto value = text_value(line, "invalid SONGWRITER syntax");
    handler.on_songwriter(value.data(), value.size());
  } else if (is("ISRC")) {
    const auto value = whole_rest(line, "invalid ISRC syntax");
    handler.on_isrc(value.data(), value.size());
  } else if (is("CATALOG")) {
    const auto value = whole_rest(line, "invalid CATALOG syntax");
    handler.on_catalog(value.data(), value.size());
  } else if (is("FLAGS")) {
    if (!line.at_end()) handler.on_flags(line.p, std::size_t(line.end - line.p));
  } else if (is("REM")) {
    if (!line.at_end()) handler.on_rem(line.p, std::size_t(line.end - line.p));
  } else if (is("POSTGAP")) {
    fail("POSTGAP is not supported");
  } else if (!is("CDTEXTFILE")) {
    fail("unknown cuesheet item");
  }
}

}  // namespace

std::size_t utf8_bom_length(const char* text) { return std::strncmp(text, utf8_bom, 3) == 0 ? 3 : 0; }

void parse_lines(const char* text, cue_handler& handler) {
  std::uint32_t line_number = 1;
  const char* p = text + utf8_bom_length(text);
  for (;;) {
    while (is_blank(*p)) ++p;
    if (*p == '\0') break;
    const char* start = p;
    while (*p != '\0' && *p != '\n' && *p != '\r') ++p;
    if (p > start) {
      try {
        parse_line(start, std::size_t(p - start), handler);
      } catch (const exception_cue& e) {
        throw exception_cue(std::string(e.what()) + " (line " + std::to_string(line_number) + ")");
      }
    }
    for (; *p == '\n' || *p == '\r'; ++p) {
      if (*p == '\n') ++line_number;
    }
  }
}

std::uint32_t parse_time(const char* text, std::size_t length, bool* overflowed) {
  std::uint64_t parts[3] = {0, 0, 0};
  unsigned colons = 0;
  bool saturated = false;
  for (std::size_t i = 0; i < length && text[i] != '\0'; ++i) {
    const char c = text[i];
    if (c == ':') {
      if (++colons > 2) throw std::runtime_error("invalid INDEX time syntax");
    } else if (c >= '0' && c <= '9') {
      std::uint64_t& part = parts[colons];
      part = part * 10 + std::uint64_t(c - '0');
      if (part > max_u32) {
        part = max_u32;
        saturated = true;
      }
    } else {
      throw std::runtime_error("invalid INDEX time syntax");
    }
  }
  // The parts were read left to right: the last one read is always frames.
  std::uint64_t minutes = 0, seconds = 0, frames = parts[colons];
  if (colons >= 1) seconds = parts[colons - 1];
  if (colons == 2) minutes = parts[0];
  const std::uint64_t total = frames + 75 * seconds + 4500 * minutes;
  if (total > max_u32) saturated = true;
  if (overflowed) *overflowed = saturated;
  return saturated ? max_u32 : static_cast<std::uint32_t>(total);
}

std::string format_time(double seconds) {
  double rounded = std::floor(seconds * 75.0 + 0.5);
  // NaN and negative times (a damaged index list) write as zero; the cap
  // keeps the conversion defined.
  if (!(rounded > 0.0)) rounded = 0.0;
  if (rounded > 1e18) rounded = 1e18;
  const std::uint64_t frames = static_cast<std::uint64_t>(rounded);
  char buffer[qiv::decimal_buffer_size];
  std::string text = qiv::format_uint(buffer, frames / 4500, 2);
  text += ':';
  text += qiv::format_uint(buffer, frames / 75 % 60, 2);
  text += ':';
  text += qiv::format_uint(buffer, frames % 75, 2);
  return text;
}

std::string escape_value(const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '"') out += '\'';
    else if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') out += '\\', ++i;
    else if (static_cast<unsigned char>(c) < 32) out += '_';
    else out += c;
  }
  return out;
}

std::string quote_value(const std::string& value) { return "\"" + escape_value(value) + "\""; }

}  // namespace cue_parser
