// Number parsing that tolerates the text around a number: tag values,
// configuration texts and title-formatting arguments are read without
// failing on what follows the digits.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qiv {

// Reads at most min(max_length, 127) bytes (to the first NUL): leading spaces,
// one sign, digits with one "." or "," as decimal mark, and an optional
// exponent after "E" or "e". The first character that does not fit ends the
// number; a text without digits gives 0. Digits beyond what a 64-bit mantissa
// holds only move the decimal point, so long texts lose precision, not value.
long double string_to_float(const char* text, std::size_t max_length);

// Decimal digits from the start, up to the first non-digit or n bytes. No
// sign, no spaces; a value above 2^32-1 wraps.
std::uint32_t atoui_n(const char* text, std::size_t n);

// The run of decimal digits at the start of the text, at most max_length
// bytes; 0 when the text does not start with a digit. Wraps above 2^64-1.
std::uint64_t atoui64_n(const char* text, std::size_t max_length);

// 0-15 for 0-9, a-f and A-F; any other byte throws exception_invalid_params.
unsigned hex_digit_value(char c);

// 10^n modulo 2^64: exact up to n = 19, wrapped above.
std::uint64_t pow10_u64(std::uint64_t n);

} // namespace qiv
