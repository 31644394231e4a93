#include "foundation/decimal_text.h"

namespace qiv {

namespace {

// 20 digits of 2^64-1, a sign and the NUL.
constexpr int scratch_size = 22;

// Writes the digits backwards from the end of the scratch buffer and answers
// where the text starts.
char* write_decimal(char (&scratch)[scratch_size], std::uint64_t magnitude, bool negative) {
  char* p = scratch + scratch_size - 1;
  *p = '\0';
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) *--p = '-';
  return p;
}

} // namespace

void format_uint64(string_object& out, std::uint64_t value) {
  char scratch[scratch_size];
  out.add_string(write_decimal(scratch, value, false), until_nul);
}

void format_int64(string_object& out, std::int64_t value) {
  // Negated in unsigned arithmetic so that the most negative value survives.
  const bool negative = value < 0;
  const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  char scratch[scratch_size];
  out.add_string(write_decimal(scratch, magnitude, negative), until_nul);
}

void format_int32(string_object& out, std::int32_t value) { format_int64(out, value); }

void string_object::add_uint(std::uint32_t value) { format_uint64(*this, value); }

} // namespace qiv
