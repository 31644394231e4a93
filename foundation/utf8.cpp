#include "foundation/utf8.h"

namespace qiv {

namespace {

// Sequence length announced by a lead byte of 0x80 or above, or 0 for a byte
// that cannot start a sequence (continuation bytes, 0xFE, 0xFF).
std::size_t sequence_length(unsigned char lead) noexcept {
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  if ((lead & 0xFC) == 0xF8) return 5;
  if ((lead & 0xFE) == 0xFC) return 6;
  return 0;
}

// Smallest code point that needs a sequence of the given length; anything
// below it written that long is an overlong form. Refusing overlong forms
// keeps a text from smuggling "/" or NUL past a byte-wise check.
constexpr std::uint32_t smallest_of_length[7] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};

std::size_t decode_bounded(const char* text, std::size_t max_bytes, std::uint32_t& code_point) noexcept {
  code_point = 0;
  if (max_bytes == 0) return 0;
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) {
    code_point = lead;
    return lead != 0 ? 1 : 0;
  }
  const std::size_t length = sequence_length(lead);
  if (length == 0 || length > max_bytes) return 0;
  std::uint32_t value = lead & ((1u << (7 - length)) - 1);
  for (std::size_t i = 1; i < length; ++i) {
    // A NUL fails this test too, so an unbounded decode never reads past it.
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < smallest_of_length[length]) return 0;
  code_point = value;
  return length;
}

constexpr std::size_t unbounded = static_cast<std::size_t>(-1);

std::size_t utf16_units_of(std::uint32_t code_point) noexcept {
  return code_point >= 0x10000 && code_point <= 0x10FFFF ? 2 : 1;
}

bool is_high_surrogate(wchar_t unit) noexcept { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(wchar_t unit) noexcept { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Reads the code point at units[index] (index < count, unit not 0), joining
// a surrogate pair; returns the number of units used.
std::size_t read_wide_char(const wchar_t* units, std::size_t index, std::size_t count,
                           std::uint32_t& code_point) noexcept {
  const wchar_t unit = units[index];
  if (is_high_surrogate(unit) && index + 1 < count && is_low_surrogate(units[index + 1])) {
    code_point = 0x10000 + ((static_cast<std::uint32_t>(unit - 0xD800) << 10) |
                            static_cast<std::uint32_t>(units[index + 1] - 0xDC00));
    return 2;
  }
  code_point = unit;
  return 1;
}

} // namespace

std::size_t utf8_decode_char(const char* text, std::uint32_t& code_point) noexcept {
  return decode_bounded(text, utf8_max_sequence, code_point);
}

std::size_t utf8_decode_char_n(const char* text, std::size_t max_bytes, std::uint32_t& code_point) noexcept {
  return decode_bounded(text, max_bytes < utf8_max_sequence ? max_bytes : utf8_max_sequence, code_point);
}

std::size_t utf8_encode_char(std::uint32_t code_point, char* output) noexcept {
  std::size_t length;
  if (code_point < 0x80) length = 1;
  else if (code_point < 0x800) length = 2;
  else if (code_point < 0x10000) length = 3;
  else if (code_point < 0x200000) length = 4;
  else if (code_point < 0x4000000) length = 5;
  else if (code_point <= 0x7FFFFFFF) length = 6;
  else return 0;
  if (output == nullptr) return length;
  if (length == 1) {
    output[0] = static_cast<char>(code_point);
    return 1;
  }
  for (std::size_t i = length - 1; i > 0; --i) {
    output[i] = static_cast<char>(0x80 | (code_point & 0x3F));
    code_point >>= 6;
  }
  // The lead carries the length as that many high one bits and a zero.
  const unsigned lead_marker = (0xFF00u >> length) & 0xFF;
  output[0] = static_cast<char>(lead_marker | code_point);
  return length;
}

std::size_t utf16_encode_char(std::uint32_t code_point, wchar_t* output) noexcept {
  if (code_point < 0x10000) {
    output[0] = static_cast<wchar_t>(code_point);
    return 1;
  }
  if (code_point <= 0x10FFFF) {
    output[0] = static_cast<wchar_t>(0xD800 + ((code_point - 0x10000) >> 10));
    output[1] = static_cast<wchar_t>(0xDC00 + (code_point & 0x3FF));
    return 2;
  }
  output[0] = L'?';
  return 1;
}

std::size_t utf8_char_length(const char* text, std::size_t max_bytes) noexcept {
  std::uint32_t ignored;
  return utf8_decode_char_n(text, max_bytes, ignored);
}

std::size_t utf8_chars_to_bytes(const char* text, std::size_t char_count) noexcept {
  std::size_t offset = 0;
  std::uint32_t ignored;
  for (std::size_t i = 0; i < char_count; ++i) {
    const std::size_t length = utf8_decode_char(text + offset, ignored);
    if (length == 0) break;
    offset += length;
  }
  return offset;
}

std::size_t utf8_strlen(const char* text, std::size_t max_bytes) noexcept {
  std::size_t count = 0;
  std::size_t offset = 0;
  std::uint32_t ignored;
  // Limits are compared as remaining counts, never as text + max_bytes, so
  // that "no limit" (all bits set) cannot wrap the pointer.
  while (offset < max_bytes) {
    const std::size_t length = utf8_decode_char_n(text + offset, max_bytes - offset, ignored);
    if (length == 0) break;
    offset += length;
    ++count;
  }
  return count;
}

bool is_valid_utf8(const char* text, std::size_t max_bytes) noexcept {
  std::size_t offset = 0;
  std::uint32_t ignored;
  while (offset < max_bytes) {
    if (text[offset] == '\0') return true;
    const std::size_t length = utf8_decode_char_n(text + offset, max_bytes - offset, ignored);
    if (length == 0) return false;
    offset += length;
  }
  return true;
}

std::size_t wide_strlen(const wchar_t* text) noexcept {
  std::size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

std::size_t estimate_utf8_to_wide(const char* text) noexcept {
  return estimate_utf8_to_wide_n(text, unbounded);
}

std::size_t estimate_utf8_to_wide_n(const char* text, std::size_t max_bytes) noexcept {
  std::size_t units = 0;
  std::size_t offset = 0;
  std::uint32_t code_point;
  while (offset < max_bytes) {
    const std::size_t length = utf8_decode_char_n(text + offset, max_bytes - offset, code_point);
    if (length == 0) break;
    offset += length;
    units += utf16_units_of(code_point);
  }
  return units + 1;
}

std::size_t estimate_wide_to_utf8(const wchar_t* units, std::size_t count) noexcept {
  std::size_t bytes = 0;
  std::size_t index = 0;
  std::uint32_t code_point;
  while (index < count && units[index] != 0) {
    index += read_wide_char(units, index, count, code_point);
    bytes += utf8_encode_char(code_point, nullptr);
  }
  return bytes + 1;
}

std::size_t convert_utf8_to_wide(wchar_t* output, std::size_t capacity, const char* text,
                                 std::size_t max_bytes) noexcept {
  if (capacity == 0) return 0;
  const std::size_t room = capacity - 1;  // the last unit is the terminator's
  std::size_t written = 0;
  std::size_t offset = 0;
  std::uint32_t code_point;
  while (offset < max_bytes) {
    const std::size_t length = utf8_decode_char_n(text + offset, max_bytes - offset, code_point);
    if (length == 0) break;
    // Half a surrogate pair would be a corrupt character in the cut text.
    if (utf16_units_of(code_point) > room - written) break;
    written += utf16_encode_char(code_point, output + written);
    offset += length;
  }
  output[written] = 0;
  return written;
}

std::size_t convert_utf8_to_wide_unchecked(wchar_t* output, const char* text) noexcept {
  return convert_utf8_to_wide(output, unbounded, text, unbounded);
}

std::size_t convert_wide_to_utf8(char* output, std::size_t capacity, const wchar_t* units,
                                 std::size_t count) noexcept {
  if (capacity == 0) return 0;
  const std::size_t room = capacity - 1;  // the last byte is the terminator's
  std::size_t written = 0;
  std::size_t index = 0;
  std::uint32_t code_point;
  while (index < count && units[index] != 0) {
    const std::size_t used = read_wide_char(units, index, count, code_point);
    // A cut sequence would leave invalid UTF-8 at the end of the text.
    if (utf8_encode_char(code_point, nullptr) > room - written) break;
    written += utf8_encode_char(code_point, output + written);
    index += used;
  }
  output[written] = '\0';
  return written;
}

byte_array utf8_from_wide(const wchar_t* units, std::size_t count) {
  const std::size_t bytes = estimate_wide_to_utf8(units, count);
  byte_array text;
  text.set_size(static_cast<std::uint32_t>(bytes));
  convert_wide_to_utf8(reinterpret_cast<char*>(text.data()), bytes, units, count);
  return text;
}

} // namespace qiv
