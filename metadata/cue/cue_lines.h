// The line level of cue sheets: splitting the text into lines, recognising
// each command and its arguments, and the CD-frame time form (75 frames to
// the second). What a command means is left to the handler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace cue_parser {

// A syntax or structure error of a sheet; parse_cuesheet turns it into
// exception_bad_cuesheet.
class exception_cue : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Ends the reading of a sheet with that error.
[[noreturn]] inline void fail(const char* message) { throw exception_cue(message); }

// The blanks between the words of a line.
inline bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Receives the parsed lines. Texts are not NUL-terminated.
class cue_handler {
public:
  virtual void on_file(const char* name, std::size_t name_length, const char* type, std::size_t type_length) = 0;
  virtual void on_track(std::uint32_t number, const char* type, std::size_t type_length) = 0;
  virtual void on_pregap(std::uint32_t frames) = 0;
  virtual void on_index(std::uint32_t number, std::uint32_t frames) = 0;
  virtual void on_title(const char* text, std::size_t length) = 0;
  virtual void on_performer(const char* text, std::size_t length) = 0;
  virtual void on_songwriter(const char* text, std::size_t length) = 0;
  virtual void on_isrc(const char* text, std::size_t length) = 0;
  virtual void on_catalog(const char* text, std::size_t length) = 0;
  virtual void on_rem(const char* text, std::size_t length) = 0;
  virtual void on_flags(const char* text, std::size_t length) = 0;

protected:
  ~cue_handler() = default;
};

// Editors save sheets with a UTF-8 byte-order mark before the first
// command; the reader steps over it, and an edit keeps it.
inline constexpr char utf8_bom[] = "\xEF\xBB\xBF";
std::size_t utf8_bom_length(const char* text);

// LF, CR LF and CR line ends alike, after a byte-order mark if any; an error of a line gets " (line N)"
// appended, counting LF line ends only.
void parse_lines(const char* text, cue_handler& handler);

// "mm:ss:ff", "ss:ff" or "ff"; empty parts are 0. More than two ':' or any
// other byte is a plain std::runtime_error "invalid INDEX time syntax". A
// time beyond 2^32 - 1 frames saturates there; `overflowed` tells.
std::uint32_t parse_time(const char* text, std::size_t length, bool* overflowed = nullptr);
// Rounded to whole frames; negative times write as 00:00:00.
std::string format_time(double seconds);

// A value as a line carries it, so that it stays on its line and inside its
// quotes: '"' becomes '\'', CR LF a backslash, other control characters '_'.
std::string escape_value(const std::string& value);
// The escaped value between quotes.
std::string quote_value(const std::string& value);

}  // namespace cue_parser
