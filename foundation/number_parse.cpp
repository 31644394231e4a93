#include "foundation/number_parse.h"

#include "foundation/ascii_digit.h"
#include "foundation/exceptions.h"
#include "foundation/power_of_ten.h"

namespace qiv {

namespace {

// Past this the exponent's value no longer matters: 10^100000 is beyond the
// range of an 80-bit float either way, and a saturated exponent cannot wrap
// around to a small one.
constexpr long long exponent_saturation = 100000;

} // namespace

long double string_to_float(const char* text, std::size_t max_length) {
  // The number is read from a bounded copy, so a caller's text without a NUL
  // within max_length is never read past it.
  char copy[128];
  const std::size_t limit = max_length < 127 ? max_length : 127;
  std::size_t length = 0;
  while (length < limit && text[length] != '\0') {
    copy[length] = text[length];
    ++length;
  }
  copy[length] = '\0';

  const char* p = copy;
  while (*p == ' ') ++p;
  bool negative = false;
  if (*p == '-' || *p == '+') {
    negative = *p == '-';
    ++p;
  }

  std::uint64_t mantissa = 0;
  long long exponent = 0;
  bool seen_digit = false;
  bool in_fraction = false;
  for (;; ++p) {
    const char c = *p;
    if (is_ascii_digit(c)) {
      seen_digit = true;
      const unsigned digit = static_cast<unsigned>(c - '0');
      if (mantissa <= (UINT64_MAX - digit) / 10) {
        mantissa = mantissa * 10 + digit;
        if (in_fraction) --exponent;
      } else if (!in_fraction) {
        // A wrapped mantissa would turn a long but valid number into an
        // unrelated value; dropping the digit only loses precision.
        ++exponent;
      }
    } else if (c == '.' || c == ',') {
      if (in_fraction) break;
      in_fraction = true;
    } else if (c == 'E' || c == 'e') {
      ++p;
      bool exponent_negative = false;
      if (*p == '-' || *p == '+') {
        exponent_negative = *p == '-';
        ++p;
      }
      long long written = 0;
      for (; is_ascii_digit(*p); ++p) {
        if (written < exponent_saturation) written = written * 10 + (*p - '0');
      }
      exponent += exponent_negative ? -written : written;
      break;
    } else {
      break;
    }
  }

  // Also keeps 0 x 10^huge from becoming infinity times zero.
  if (!seen_digit || mantissa == 0) return 0.0L;

  long double value = static_cast<long double>(mantissa);
  if (exponent < 0) value /= power_of_ten<long double>(static_cast<unsigned long long>(-exponent));
  else if (exponent > 0) value *= power_of_ten<long double>(static_cast<unsigned long long>(exponent));
  return negative ? -value : value;
}

std::uint32_t atoui_n(const char* text, std::size_t n) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < n && is_ascii_digit(text[i]); ++i) {
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  }
  return value;
}

std::uint64_t atoui64_n(const char* text, std::size_t max_length) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < max_length && is_ascii_digit(text[i]); ++i) {
    value = value * 10u + static_cast<std::uint64_t>(text[i] - '0');
  }
  return value;
}

unsigned hex_digit_value(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  throw exception_invalid_params();
}

std::uint64_t pow10_u64(std::uint64_t n) { return power_of_ten<std::uint64_t>(n); }

} // namespace qiv
