#include "foundation/wildcard.h"

#include <cstdint>
#include <cstring>

#include "foundation/case_folding.h"
#include "foundation/utf8.h"

namespace qiv {

bool wildcard_match(const char* text, const char* pattern, bool stop_at_semicolon) {
  for (;;) {
    std::uint32_t p = 0;
    const std::size_t pattern_step = utf8_decode_char(pattern, p);
    std::uint32_t t = 0;
    const std::size_t text_step = utf8_decode_char(text, t);
    // A step of 0 is the NUL or an invalid sequence: either ends the text,
    // which also keeps the walk from standing still.
    if (pattern_step == 0 || (stop_at_semicolon && p == ';')) return text_step == 0;

    if (p == '*') {
      const char* rest = pattern + pattern_step;
      for (;;) {
        if (wildcard_match(text, rest, stop_at_semicolon)) return true;
        const std::size_t step = utf8_decode_char(text, t);
        if (step == 0) return false;
        text += step;
      }
    }

    if (text_step == 0) return false;
    if (p != '?' && char_lower(p) != char_lower(t)) return false;
    pattern += pattern_step;
    text += text_step;
  }
}

bool has_wildcards(const char* text) { return std::strpbrk(text, "*?") != nullptr; }

} // namespace qiv
