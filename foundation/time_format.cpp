#include "foundation/time_format.h"

#include <cmath>

#include "foundation/number_format.h"
#include "foundation/number_parse.h"

namespace qiv {

namespace {

// 10^19 is the largest power of ten a 64-bit unit count can be scaled by.
constexpr unsigned max_time_decimals = 19;

void add_number(string_fixed128& text, std::uint64_t value, unsigned min_digits) {
  char digits[decimal_buffer_size];
  text.add_string(format_uint(digits, value, min_digits));
}

// floor(x + 0.5) as an unsigned count; the conversion of a double outside
// that range is undefined, so the ends saturate.
std::uint64_t round_to_units(double x) {
  const double rounded = std::floor(x + 0.5);
  if (!(rounded > 0)) return 0;  // also NaN
  if (rounded >= 18446744073709551615.0) return UINT64_MAX;
  return static_cast<std::uint64_t>(rounded);
}

} // namespace

string_fixed128 format_timespan(std::uint64_t seconds) {
  const std::uint64_t weeks = seconds / 604800;
  const std::uint64_t days = (seconds / 86400) % 7;
  const std::uint64_t hours = (seconds / 3600) % 24;
  const std::uint64_t minutes = (seconds / 60) % 60;
  const std::uint64_t secs = seconds % 60;

  string_fixed128 text;
  if (weeks > 0) {
    add_number(text, weeks, 0);
    text.add_string("wk ");
  }
  if (weeks > 0 || days > 0) {
    add_number(text, days, 0);
    text.add_string("d ");
  }
  if (weeks == 0 && days == 0 && hours == 0) {
    add_number(text, minutes, 0);
  } else {
    add_number(text, hours, 0);
    text.add_string(":");
    add_number(text, minutes, 2);
  }
  text.add_string(":");
  add_number(text, secs, 2);
  return text;
}

string_fixed128 format_time_ex(double seconds, unsigned decimals) {
  if (decimals > max_time_decimals) decimals = max_time_decimals;
  const std::uint64_t scale = pow10_u64(decimals);
  const std::uint64_t units = round_to_units(seconds * static_cast<double>(scale));
  string_fixed128 text = format_timespan(units / scale);
  text.add_string(".");
  add_number(text, units % scale, decimals);
  return text;
}

} // namespace qiv
