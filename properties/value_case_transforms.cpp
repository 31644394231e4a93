#include "properties/value_case_transforms.h"

#include "foundation/case_folding.h"
#include "foundation/utf8.h"

namespace {

// Stands for a byte that starts no UTF-8 sequence (a tag written in some
// other encoding, a NUL): it is copied through as it is, since a transform
// must never cut a value short.
constexpr std::uint32_t undecodable = ~std::uint32_t(0);

// Calls `step(code_point, bytes)` for each character of the text.
template <class Step>
void for_each_code_point(std::string_view text, Step step) {
  std::size_t at = 0;
  while (at < text.size()) {
    std::uint32_t c = 0;
    std::size_t length = qiv::utf8_decode_char_n(text.data() + at, text.size() - at, c);
    if (length == 0) {
      c = undecodable;
      length = 1;
    }
    step(c, text.substr(at, length));
    at += length;
  }
}

void append_code_point(std::string& out, std::uint32_t c, std::string_view bytes) {
  if (c == undecodable) {
    out.append(bytes);
    return;
  }
  char encoded[qiv::utf8_max_sequence];
  out.append(encoded, qiv::utf8_encode_char(c, encoded));
}

bool is_word_separator(std::uint32_t c) {
  switch (c) {
    case ' ': case '\t': case '\n': case '\r': case '(': case ')': case '[': case ']':
    case '|': case '/': case '\\': case '.': case ';': case ':': case ',':
      return true;
    default:
      return false;
  }
}

bool is_gap(std::uint32_t c) { return c == '\t' || c == ' ' || c == '_'; }

}  // namespace

std::string capitalize_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool word_start = true;
  for_each_code_point(text, [&](std::uint32_t c, std::string_view bytes) {
    if (is_word_separator(c)) {
      word_start = true;
      append_code_point(out, c, bytes);
    } else if (c == '"' || c == '\'' || c == undecodable) {
      append_code_point(out, c, bytes);
    } else {
      append_code_point(out, word_start ? qiv::char_upper(c) : qiv::char_lower(c), bytes);
      word_start = false;
    }
  });
  return out;
}

std::string clean_up_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool gap_pending = false;
  for_each_code_point(text, [&](std::uint32_t c, std::string_view bytes) {
    if (is_gap(c)) {
      gap_pending = !out.empty();
      return;
    }
    if (gap_pending) out += ' ';
    gap_pending = false;
    append_code_point(out, c, bytes);
  });
  return out;
}
