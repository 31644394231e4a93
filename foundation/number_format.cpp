#include "foundation/number_format.h"

#include <cmath>

#include "foundation/power_of_ten.h"

namespace qiv {

namespace {

unsigned clamp_min_digits(unsigned min_digits, unsigned most) {
  if (min_digits == 0) return 1;
  return min_digits > most ? most : min_digits;
}

// Writes into a caller buffer and silently drops what does not fit, keeping
// room for the NUL.
class bounded_writer {
public:
  bounded_writer(char* buffer, std::size_t size) : buffer_(buffer), size_(size) {}
  bool full() const { return position_ + 1 >= size_; }
  void put(char c) {
    if (!full()) buffer_[position_++] = c;
  }
  void put(const char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) put(text[i]);
  }
  void finish() {
    if (size_ != 0) buffer_[position_] = '\0';
  }

private:
  char* buffer_;
  std::size_t size_;
  std::size_t position_ = 0;
};

} // namespace

char* format_uint(char* buffer, std::uint64_t value, unsigned min_digits) {
  const unsigned min = clamp_min_digits(min_digits, max_decimal_digits);
  char reversed[decimal_buffer_size];
  unsigned count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count < min) reversed[count++] = '0';
  for (unsigned i = 0; i < count; ++i) buffer[i] = reversed[count - 1 - i];
  buffer[count] = '\0';
  return buffer;
}

char* int64_to_decimal(char* buffer, std::int64_t value, unsigned min_digits) {
  if (value >= 0) return format_uint(buffer, static_cast<std::uint64_t>(value), min_digits);
  // Negating in unsigned arithmetic keeps the most negative value exact.
  const std::uint64_t magnitude = 0 - static_cast<std::uint64_t>(value);
  const unsigned min = clamp_min_digits(min_digits, max_decimal_digits);
  buffer[0] = '-';
  format_uint(buffer + 1, magnitude, min > 1 ? min - 1 : 1);
  return buffer;
}

char* format_hex(char* buffer, std::uint64_t value, unsigned min_digits) {
  static const char digits[] = "0123456789ABCDEF";
  const unsigned min = clamp_min_digits(min_digits, 16);
  char reversed[16];
  unsigned count = 0;
  do {
    reversed[count++] = digits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  while (count < min) reversed[count++] = '0';
  for (unsigned i = 0; i < count; ++i) buffer[i] = reversed[count - 1 - i];
  buffer[count] = '\0';
  return buffer;
}

string_buffer format_hex_string(const std::uint8_t* sixteen_bytes) {
  static const char digits[] = "0123456789ABCDEF";
  char text[33];
  for (int i = 0; i < 16; ++i) {
    text[2 * i] = digits[sixteen_bytes[i] >> 4];
    text[2 * i + 1] = digits[sixteen_bytes[i] & 0xF];
  }
  text[32] = '\0';
  return string_buffer(text, 32);
}

string_buffer format_tenths(std::int64_t tenths) {
  // Whole part and digit come from the magnitude: C++ division truncates
  // toward zero, so a negative count would otherwise print "-2.-5".
  const std::uint64_t magnitude = tenths < 0 ? 0 - static_cast<std::uint64_t>(tenths) : static_cast<std::uint64_t>(tenths);
  string_buffer text;
  if (tenths < 0) text.append_c_str("-");
  char digits[decimal_buffer_size];
  text.append_c_str(format_uint(digits, magnitude / 10, 1));
  const char tenth[3] = {'.', static_cast<char>('0' + magnitude % 10), '\0'};
  text.append_c_str(tenth);
  return text;
}

void format_float(char* buffer, std::size_t buffer_size, unsigned decimals, bool force_plus, double value) {
  bounded_writer out(buffer, buffer_size);
  if (value < 0) {
    out.put('-');
    value = -value;
  } else if (force_plus) {
    out.put('+');
  }

  // Converting a double outside the 64-bit range is undefined; a NaN shows
  // as 0 and a magnitude of 2^63 or more saturates. A smaller value whose
  // scaled form would not fit 64 bits is scaled by as many fraction digits
  // as fit, and the rest are written as zeros instead of saturated digits.
  constexpr double limit = 9223372036854775807.0;
  unsigned scaled_decimals = decimals;
  if (value > 0 && value < limit && std::floor(value * power_of_ten<double>(decimals) + 0.5) >= limit) {
    const double room = std::floor(std::log10(limit / value));
    if (room < decimals) scaled_decimals = room > 0 ? static_cast<unsigned>(room) : 0;
    while (scaled_decimals > 0 && std::floor(value * power_of_ten<double>(scaled_decimals) + 0.5) >= limit) --scaled_decimals;
  }
  const double scaled = std::floor(value * power_of_ten<double>(scaled_decimals) + 0.5);
  std::uint64_t units = 0;
  if (scaled >= limit) units = INT64_MAX;
  else if (scaled > 0) units = static_cast<std::uint64_t>(scaled);

  char digits[decimal_buffer_size];
  format_uint(digits, units, 1);
  std::size_t count = 0;
  while (digits[count] != '\0') ++count;
  const std::size_t padding = decimals - scaled_decimals;  // zeros after the digits
  const auto put_zeros = [&out](std::size_t zeros) {
    for (; zeros != 0 && !out.full(); --zeros) out.put('0');
  };

  if (decimals < count + padding) {
    const std::size_t whole = count - scaled_decimals;
    out.put(digits, whole);
    if (decimals != 0) {
      out.put('.');
      out.put(digits + whole, scaled_decimals);
      put_zeros(padding);
    }
  } else {
    out.put('0');
    out.put('.');
    put_zeros(decimals - count - padding);
    out.put(digits, count);
    put_zeros(padding);
  }
  out.finish();
}

} // namespace qiv
