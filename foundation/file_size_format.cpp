#include "foundation/file_size_format.h"

#include "foundation/number_format.h"
#include "foundation/number_parse.h"

namespace qiv {

namespace {

struct size_unit {
  std::uint64_t bytes;
  const char* name;
};

constexpr size_unit units[] = {
    {1, "B"},
    {1024ull, "KB"},
    {1024ull * 1024, "MB"},
    {1024ull * 1024 * 1024, "GB"},
    {1024ull * 1024 * 1024 * 1024, "TB"},
};

unsigned digit_count(std::uint64_t value) {
  unsigned count = 1;
  while (value >= 10) {
    value /= 10;
    ++count;
  }
  return count;
}

} // namespace

file_size_text format_file_size(std::uint64_t bytes) {
  const size_unit* unit = &units[0];
  for (const size_unit& candidate : units) {
    if (candidate.bytes <= bytes) unit = &candidate;
  }

  file_size_text result{string_buffer(), unit->bytes};
  char digits[decimal_buffer_size];
  const std::uint64_t whole = bytes / unit->bytes;
  result.text.append_c_str(format_uint(digits, whole, 1));

  const unsigned whole_digits = digit_count(whole);
  if (unit->bytes > 1 && whole_digits < 3) {
    // The fraction only appears below 100 units, so bytes x 100 stays far
    // inside 64 bits.
    unsigned fraction_digits = 3 - whole_digits;
    std::uint64_t fraction = (bytes * pow10_u64(fraction_digits) / unit->bytes) % pow10_u64(fraction_digits);
    while (fraction_digits > 0 && fraction % 10 == 0) {
      fraction /= 10;
      --fraction_digits;
    }
    if (fraction != 0) {
      result.text.append_c_str(".");
      result.text.append_c_str(format_uint(digits, fraction, fraction_digits));
    }
  }

  result.text.append_c_str(" ");
  result.text.append_c_str(unit->name);
  return result;
}

} // namespace qiv
