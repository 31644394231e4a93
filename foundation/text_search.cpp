#include "foundation/text_search.h"

#include "foundation/byte_string.h"
#include "foundation/string_buffer.h"
#include "foundation/string_object.h"

namespace qiv {

std::size_t strchr_n(const char* text, std::size_t n, char c) {
  for (std::size_t i = 0; i < n && text[i] != '\0'; ++i) {
    if (text[i] == c) return i;
  }
  return not_found;
}

std::size_t find_char_from(const char* text, std::size_t limit, std::size_t start, char c) {
  for (std::size_t i = start; i < limit; ++i) {
    if (text[i] == c) return i;
  }
  return limit;
}

std::size_t strstr_n(const char* text, std::size_t max_length, const char* needle, std::size_t start) {
  const std::size_t needle_length = strnlen(needle, until_nul);
  if (needle_length == 0) return start;
  const std::size_t text_length = strnlen(text, max_length);
  if (start > text_length || needle_length > text_length - start) return not_found;
  const std::size_t last_start = text_length - needle_length;
  for (std::size_t i = start; i <= last_start; ++i) {
    std::size_t matched = 0;
    while (matched < needle_length && text[i + matched] == needle[matched]) ++matched;
    if (matched == needle_length) return i;
  }
  return not_found;
}

bool string_ends_with_char(const string_object& text, char c) {
  const std::size_t length = text.get_length();
  return length != 0 && text.get_ptr()[length - 1] == c;
}

bool has_line_break(const char* text) {
  for (; *text != '\0'; ++text) {
    if (*text == '\r' || *text == '\n') return true;
  }
  return false;
}

bool string_first_line(string_object& text) {
  const char* p = text.get_ptr();
  for (std::size_t i = 0; p[i] != '\0'; ++i) {
    if (p[i] == '\r' || p[i] == '\n') {
      // Built apart and set whole, so a fixed string too small for the
      // marker throws with its text intact rather than cut without it.
      string_buffer first_line(p, i);
      first_line.add_string(" (...)");
      text.set_string(first_line.get_ptr());
      return true;
    }
  }
  return false;
}

} // namespace qiv
