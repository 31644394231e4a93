// Numbers, durations and file sizes as the text the user sees.
#include "foundation/number_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/decimal_text.h"
#include "foundation/exceptions.h"
#include "foundation/file_size_format.h"
#include "foundation/format_into16.h"
#include "foundation/string_fixed.h"
#include "foundation/time_format.h"

namespace {

std::string uint_text(std::uint64_t value, unsigned min_digits) {
  char buffer[qiv::decimal_buffer_size];
  return qiv::format_uint(buffer, value, min_digits);
}

std::string float_text(double value, unsigned decimals, bool force_plus = false, std::size_t size = 64) {
  char buffer[64];
  std::memset(buffer, 'Z', sizeof buffer);
  qiv::format_float(buffer, size, decimals, force_plus, value);
  return buffer;
}

std::string span(std::uint64_t seconds) { return qiv::format_timespan(seconds).get_ptr(); }
std::string span_ex(double seconds, unsigned decimals) { return qiv::format_time_ex(seconds, decimals).get_ptr(); }
std::string size_text(std::uint64_t bytes) { return qiv::format_file_size(bytes).text.get_ptr(); }

TEST(NumberFormat, IntegersAndFloatsAtTheirExtremesStayInTheirBuffers) {
  qiv::string_fixed128 appended;
  appended.set_string("=");
  qiv::format_int64(appended, INT64_MIN);
  appended.add_uint(0);
  struct { std::string got, expected; } cases[] = {
      {uint_text(5, 3), "005"},
      {appended.get_ptr(), "=-92233720368547758080"},
      {uint_text(UINT64_MAX, 0), "18446744073709551615"},
      {uint_text(7, 100), std::string(62, '0') + "7"},  // at most 63 digits
      {qiv::format_tenths(-7).get_ptr(), "-0.7"},  // the sign survives a zero whole part
      {float_text(123.456, 2, false, 5), "123."},  // cut to the buffer
      {float_text(123.456, 2, false, 1), ""},      // size 1: only the NUL
      {float_text(0.001, 1000, false, 8), "0.00100"},  // huge decimals in a small buffer
      {float_text(-1e300, 1), "-922337203685477580.7"},  // beyond 64 bits saturates
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].got, cases[i].expected) << i;
  qiv::string_fixed33 out;
  out.set_string(std::string(22, '.').c_str());
  qiv::format_uint64(out, 1234567890);  // 32 bytes: fits exactly
  EXPECT_STREQ(out.get_ptr() + 22, "1234567890");
  EXPECT_THROW(out.add_uint(1), qiv::exception_overflow);
  char untouched = 'Z';
  qiv::format_float(&untouched, 0, 2, false, 1.0);
  EXPECT_EQ(untouched, 'Z');
  char buffer[20];
  std::memset(buffer, '#', sizeof(buffer));
  qiv::format_into16(buffer, "%s", "a label far longer than sixteen bytes");
  EXPECT_EQ(std::strlen(buffer), 15u);
  EXPECT_EQ(buffer[16], '#');
}

TEST(DurationFormat, ClockGrowsHoursDaysAndWeeksAndFractionsRound) {
  struct { std::string got, expected; const char* why; } cases[] = {
      {span(0), "0:00", ""},
      {span(3600), "1:00:00", "hours from one hour on"},
      {span(86400 + 3661), "1d 1:01:01", ""},
      {span(604800), "1wk 0d 0:00:00", "weeks carry the full clock"},
      {span(UINT64_MAX), "30500568904943wk 0d 7:00:15", "fits the fixed string"},
      {span_ex(59.9996, 3), "1:00.000", "rounding carries into the minutes"},
      {span_ex(65.5, 0), "1:06.0", "no decimals still writes a fraction"},
      {span_ex(-3.5, 1), "0:00.0", "negative"},
      {span_ex(std::nan(""), 2), "0:00.00", ""},
      {span_ex(0.5, 70), "0:00.5000000000000000000", "a scale beyond 10^19 would wrap or divide by 0"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.why;
}

TEST(FileSizeFormat, LargestUnitAndThreeTruncatedSignificantDigits) {
  struct { std::string got, expected; const char* why; } cases[] = {
      {size_text(UINT64_MAX), "16777215 TB", "no unit above TB"},
      {size_text(1024 + 51), "1.04 KB", "1.0498 is truncated, not rounded"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.why;
}

} // namespace
