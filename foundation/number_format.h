// Decimal, hexadecimal and fixed-point formatting into caller buffers. These
// run for every displayed item and title-formatting call, so none of the
// buffer forms allocates.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/string_buffer.h"

namespace qiv {

// Room for the longest decimal text (63 characters) and its NUL.
inline constexpr std::size_t decimal_buffer_size = 64;
// Room for all 16 hexadecimal digits of a 64-bit value and the NUL.
inline constexpr std::size_t hex_buffer_size = 17;
// Longest padding a decimal formatter honours.
inline constexpr unsigned max_decimal_digits = 63;

// Decimal, left-padded with "0" to min_digits (0 counts as 1, above 63 as 63).
// Writes into a buffer of decimal_buffer_size bytes and returns it.
char* format_uint(char* buffer, std::uint64_t value, unsigned min_digits);

// As format_uint with a leading "-" for a negative value; the sign counts
// toward min_digits, so (-5, 3) gives "-05".
char* int64_to_decimal(char* buffer, std::int64_t value, unsigned min_digits);

// Upper-case hexadecimal without prefix, left-padded with "0" to min_digits
// (0 counts as 1, 16 or more gives all 16). Buffer of hex_buffer_size bytes.
char* format_hex(char* buffer, std::uint64_t value, unsigned min_digits);

// The 16 bytes in memory order as 32 upper-case hexadecimal digits, no
// separators.
string_buffer format_hex_string(const std::uint8_t* sixteen_bytes);

// A count of tenths as "whole.tenth", with "-" before a negative count:
// -25 gives "-2.5", 7 gives "0.7".
string_buffer format_tenths(std::int64_t tenths);

// Fixed-point text with `decimals` digits after the point, rounded half away
// from zero: (2.5, 0) gives "3", (0.05, 3) gives "0.050". A "+" precedes a
// non-negative value when force_plus is set. Cut to buffer_size - 1
// characters and NUL-terminated; a buffer_size of 0 writes nothing.
void format_float(char* buffer, std::size_t buffer_size, unsigned decimals, bool force_plus, double value);

} // namespace qiv
