#include "foundation/wildcard.h"

#include <cstdint>
#include <cstring>

#include "foundation/case_folding.h"
#include "foundation/utf8.h"

namespace qiv {

bool wildcard_match(const char* text, const char* pattern, bool stop_at_semicolon) {
  // Only the last "*" is ever revisited: when the rest fails, that star takes
  // one more code point. Earlier stars never need to, so a pattern with many
  // stars costs no more than text length times pattern length.
  const char* after_star = nullptr;  // the pattern just after the last "*"
  const char* star_text = nullptr;   // where the text stood after that star's share
  for (;;) {
    std::uint32_t p = 0;
    const std::size_t pattern_step = utf8_decode_char(pattern, p);
    std::uint32_t t = 0;
    const std::size_t text_step = utf8_decode_char(text, t);
    // A step of 0 is the NUL or an invalid sequence: either ends the text,
    // which also keeps the walk from standing still.
    const bool pattern_ended = pattern_step == 0 || (stop_at_semicolon && p == ';');

    if (!pattern_ended && p == '*') {
      pattern += pattern_step;
      after_star = pattern;
      star_text = text;
      continue;
    }
    if (pattern_ended && text_step == 0) return true;
    if (!pattern_ended && text_step != 0 && (p == '?' || char_lower(p) == char_lower(t))) {
      pattern += pattern_step;
      text += text_step;
      continue;
    }
    if (after_star == nullptr) return false;
    std::uint32_t skipped = 0;
    const std::size_t step = utf8_decode_char(star_text, skipped);
    if (step == 0) return false;
    star_text += step;
    text = star_text;
    pattern = after_star;
  }
}

bool has_wildcards(const char* text) { return std::strpbrk(text, "*?") != nullptr; }

} // namespace qiv
