#include "foundation/case_folding.h"

#include <windows.h>

#include <array>

#include "foundation/byte_string.h"
#include "foundation/comparators.h"
#include "foundation/string_object.h"
#include "foundation/utf8.h"

namespace qiv {

namespace {

// ASCII bytes fold through this table so that comparing ASCII text never
// decodes UTF-8 nor calls the system.
constexpr std::array<unsigned char, 128> ascii_lower = [] {
  std::array<unsigned char, 128> table{};
  for (unsigned i = 0; i < 128; ++i) table[i] = static_cast<unsigned char>(i >= 'A' && i <= 'Z' ? i + 32 : i);
  return table;
}();

unsigned char byte_at(const char* text) { return static_cast<unsigned char>(*text); }

// The single-character form of CharLowerW/CharUpperW: a pointer value whose
// high word is zero carries the character itself, and the result's low word
// is the mapped character. It maps one UTF-16 unit, never a sequence.
std::uint32_t system_lower(std::uint32_t unit) {
  const auto mapped = reinterpret_cast<ULONG_PTR>(CharLowerW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(unit))));
  return LOWORD(mapped);
}

std::uint32_t system_upper(std::uint32_t unit) {
  const auto mapped = reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(unit))));
  return LOWORD(mapped);
}

void add_code_point(string_object& output, std::uint32_t code_point) {
  char encoded[utf8_max_sequence];
  output.add_string(encoded, utf8_encode_char(code_point, encoded));
}

} // namespace

std::uint32_t char_lower(std::uint32_t code_point) {
  if (code_point < 128) return ascii_lower[code_point];
  if (code_point <= 0xFFFF) return system_lower(code_point);
  return code_point;
}

std::uint32_t char_upper(std::uint32_t code_point) {
  if (code_point < 128) return code_point >= 'a' && code_point <= 'z' ? code_point - 32 : code_point;
  if (code_point <= 0xFFFF) return system_upper(code_point);
  return code_point;
}

int compare_char_nocase(std::uint32_t a, std::uint32_t b) {
  if (a == b) return 0;
  return compare_u32(char_lower(a), char_lower(b));
}

int compare_nocase(const char* a, const char* b) {
  for (;;) {
    const unsigned char byte_a = byte_at(a);
    const unsigned char byte_b = byte_at(b);
    if (byte_a < 0x80 && byte_b < 0x80) {
      const int order = compare_u32(ascii_lower[byte_a], ascii_lower[byte_b]);
      if (order != 0) return order;
      if (byte_a == 0) return 0;
      ++a;
      ++b;
      continue;
    }
    std::uint32_t char_a;
    std::uint32_t char_b;
    const std::size_t length_a = utf8_decode_char(a, char_a);
    const std::size_t length_b = utf8_decode_char(b, char_b);
    if (length_a == 0 && length_b == 0) {
      // Neither holds a character. Ordering the bytes keeps the order total
      // and a text equal to itself: the end (byte 0) comes first, then
      // broken bytes by value, and equal broken bytes are stepped over.
      if (byte_a != byte_b) return compare_u32(byte_a, byte_b);
      ++a;
      ++b;
      continue;
    }
    if (length_a == 0) return -1;
    if (length_b == 0) return 1;
    const int order = compare_char_nocase(char_a, char_b);
    if (order != 0) return order;
    a += length_a;
    b += length_b;
  }
}

int compare_nocase_n(const char* a, const char* b, std::size_t max_chars) {
  for (std::size_t i = 0; i < max_chars; ++i) {
    const unsigned char byte_a = byte_at(a);
    const unsigned char byte_b = byte_at(b);
    if (byte_a < 0x80 && byte_b < 0x80) {
      if (byte_b == 0) return 0;
      const int order = compare_u32(ascii_lower[byte_a], ascii_lower[byte_b]);
      if (order != 0) return order;
      ++a;
      ++b;
      continue;
    }
    // An `a` that has ended takes part as code point 0 and stays where it is.
    std::uint32_t char_a;
    std::uint32_t char_b;
    const std::size_t length_a = utf8_decode_char(a, char_a);
    const std::size_t length_b = utf8_decode_char(b, char_b);
    if (length_b == 0) return 0;
    const int order = compare_char_nocase(char_a, char_b);
    if (order != 0) return order;
    a += length_a;
    b += length_b;
  }
  return 0;
}

namespace {

// What two invalid sequences at the same place mean: for an order they
// compare by their bytes; for a search they never match, so that a
// replacement can never land inside or on top of a broken character.
enum class invalid_pair { ordered_by_bytes, never_equal };

int compare_lengths(const char* a, std::size_t length_a, const char* b, std::size_t length_b,
                    invalid_pair invalid) {
  length_a = strnlen(a, length_a);
  length_b = strnlen(b, length_b);
  std::size_t at_a = 0;
  std::size_t at_b = 0;
  for (;;) {
    if (at_a == length_a) return at_b == length_b ? 0 : -1;
    if (at_b == length_b) return 1;
    const unsigned char byte_a = byte_at(a + at_a);
    const unsigned char byte_b = byte_at(b + at_b);
    if (byte_a < 0x80 && byte_b < 0x80) {
      const int order = compare_u32(ascii_lower[byte_a], ascii_lower[byte_b]);
      if (order != 0) return order;
      ++at_a;
      ++at_b;
      continue;
    }
    std::uint32_t char_a;
    std::uint32_t char_b;
    const std::size_t sequence_a = utf8_decode_char_n(a + at_a, length_a - at_a, char_a);
    const std::size_t sequence_b = utf8_decode_char_n(b + at_b, length_b - at_b, char_b);
    if (sequence_a == 0 && sequence_b == 0) {
      if (invalid == invalid_pair::never_equal) return -1;
      if (byte_a != byte_b) return compare_u32(byte_a, byte_b);
      ++at_a;
      ++at_b;
      continue;
    }
    if (sequence_a == 0) return -1;
    if (sequence_b == 0) return 1;
    const int order = compare_char_nocase(char_a, char_b);
    if (order != 0) return order;
    at_a += sequence_a;
    at_b += sequence_b;
  }
}

} // namespace

int compare_nocase_ex(const char* a, std::size_t length_a, const char* b, std::size_t length_b) {
  return compare_lengths(a, length_a, b, length_b, invalid_pair::ordered_by_bytes);
}

bool equals_nocase_n(const char* text, const char* search, std::size_t max_bytes) {
  return compare_lengths(text, max_bytes, search, until_nul, invalid_pair::never_equal) == 0;
}

std::size_t replace_nocase(string_object& output, const char* text, const char* search,
                           const char* replacement) {
  const std::size_t search_length = strnlen(search, until_nul);
  if (search_length == 0) return 0;
  const std::size_t text_length = strnlen(text, until_nul);
  std::size_t replaced = 0;
  std::size_t at = 0;
  // Byte by byte: a start inside a multi-byte sequence decodes as invalid
  // and so never matches a valid search text.
  while (search_length <= text_length - at) {
    if (equals_nocase_n(text + at, search, search_length)) {
      output.add_c_str(replacement);
      ++replaced;
      at += search_length;
    } else {
      output.add_string(text + at, 1);
      ++at;
    }
  }
  output.add_string(text + at, text_length - at);
  return replaced;
}

void string_add_lower(string_object& output, const char* text, std::size_t max_bytes) {
  std::size_t at = 0;
  std::uint32_t code_point;
  while (at < max_bytes) {
    const std::size_t length = utf8_decode_char_n(text + at, max_bytes - at, code_point);
    if (length == 0) break;
    add_code_point(output, char_lower(code_point));
    at += length;
  }
}

void string_add_upper(string_object& output, const char* text) {
  std::uint32_t code_point;
  for (;;) {
    const std::size_t length = utf8_decode_char(text, code_point);
    if (length == 0) break;
    add_code_point(output, char_upper(code_point));
    text += length;
  }
}

namespace {

// One code point as a UTF-16 string of one or two units; an ended text
// (length 0) gives the empty string.
void to_wide_string(std::uint32_t code_point, std::size_t sequence_length, wchar_t (&out)[3]) {
  const std::size_t units = sequence_length != 0 ? utf16_encode_char(code_point, out) : 0;
  out[units] = 0;
}

} // namespace

int stricmp_utf8_system(const char* a, const char* b) {
  for (;;) {
    std::uint32_t char_a;
    std::uint32_t char_b;
    const std::size_t length_a = utf8_decode_char(a, char_a);
    const std::size_t length_b = utf8_decode_char(b, char_b);
    if (length_a == 0 && length_b == 0) return 0;
    if (length_a == 0 || length_b == 0 || char_a != char_b) {
      wchar_t wide_a[3];
      wchar_t wide_b[3];
      to_wide_string(char_a, length_a, wide_a);
      to_wide_string(char_b, length_b, wide_b);
      const int order = lstrcmpiW(wide_a, wide_b);
      if (order != 0) return order;
    }
    a += length_a;
    b += length_b;
  }
}

} // namespace qiv
