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

std::string int_text(std::int64_t value, unsigned min_digits) {
  char buffer[qiv::decimal_buffer_size];
  return qiv::int64_to_decimal(buffer, value, min_digits);
}

std::string hex_text(std::uint64_t value, unsigned min_digits) {
  char buffer[qiv::hex_buffer_size];
  return qiv::format_hex(buffer, value, min_digits);
}

std::string float_text(double value, unsigned decimals, bool force_plus = false, std::size_t size = 64) {
  char buffer[64];
  std::memset(buffer, 'Z', sizeof buffer);
  qiv::format_float(buffer, size, decimals, force_plus, value);
  return buffer;
}

template <class Append>
std::string appended(Append append) {
  qiv::string_fixed128 out;
  out.set_string("=");
  append(out);
  return out.get_ptr();
}

std::string span(std::uint64_t seconds) { return qiv::format_timespan(seconds).get_ptr(); }
std::string span_ex(double seconds, unsigned decimals) { return qiv::format_time_ex(seconds, decimals).get_ptr(); }
std::string size_text(std::uint64_t bytes) { return qiv::format_file_size(bytes).text.get_ptr(); }
constexpr std::uint64_t KB = 1024, MB = KB * 1024, GB = MB * 1024, TB = GB * 1024;

TEST(NumberFormat, IntegersPaddedSignedAndAtTheirExtremes) {
  struct { std::string got, expected; } cases[] = {
      {uint_text(0, 0), "0"},
      {uint_text(5, 3), "005"},
      {uint_text(UINT64_MAX, 0), "18446744073709551615"},
      {uint_text(7, 100), std::string(62, '0') + "7"},  // at most 63 digits
      {int_text(-5, 3), "-05"},                         // the sign counts toward the minimum
      {int_text(-5, 1), "-5"},
      {int_text(INT64_MIN, 0), "-9223372036854775808"},
      {int_text(-1, 100), "-" + std::string(61, '0') + "1"},
      {hex_text(0xABC, 0), "ABC"},
      {hex_text(0xABC, 6), "000ABC"},
      {hex_text(0, 0), "0"},
      {hex_text(0xff, 40), "00000000000000FF"},  // at most 16 digits
      {appended([](auto& s) { qiv::format_int64(s, INT64_MIN); }), "=-9223372036854775808"},
      {appended([](auto& s) { qiv::format_int32(s, INT32_MIN); }), "=-2147483648"},
      {appended([](auto& s) { qiv::format_uint64(s, UINT64_MAX); }), "=18446744073709551615"},
      {appended([](auto& s) { s.add_uint(0); }), "=0"},
      {qiv::format_tenths(-25).get_ptr(), "-2.5"},
      {qiv::format_tenths(-7).get_ptr(), "-0.7"},  // the sign survives a zero whole part
      {qiv::format_tenths(120).get_ptr(), "12.0"},
      {qiv::format_tenths(INT64_MIN).get_ptr(), "-922337203685477580.8"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].got, cases[i].expected) << i;
  const std::uint8_t bytes[16] = {0x00, 0x01, 0x0A, 0xFF, 0x10, 0x20, 0x30, 0x40,
                                  0x50, 0x60, 0x70, 0x80, 0x90, 0xA0, 0xB0, 0xC5};
  EXPECT_STREQ(qiv::format_hex_string(bytes).get_ptr(), "00010AFF102030405060708090A0B0C5");
}

TEST(NumberFormat, FloatsRoundHalfAwayFromZeroAndStayInTheirBuffer) {
  struct { std::string got, expected; const char* why; } cases[] = {
      {float_text(2.5, 0), "3", ""},
      {float_text(-2.5, 0), "-3", "half away from zero"},
      {float_text(-1.234, 2), "-1.23", ""},
      {float_text(9.995, 1), "10.0", "rounding adds a digit"},
      {float_text(0.05, 3), "0.050", "a leading zero and padding"},
      {float_text(0, 0), "0", ""},
      {float_text(7, 2, true), "+7.00", ""},
      {float_text(-7, 2, true), "-7.00", "never a plus on negatives"},
      {float_text(123.456, 2, false, 5), "123.", "cut to the buffer"},
      {float_text(-123.456, 2, false, 2), "-", ""},
      {float_text(123.456, 2, false, 1), "", "size 1: only the NUL"},
      {float_text(0.001, 1000, false, 8), "0.00100", "huge decimals in a small buffer"},
      {float_text(1.5, 19), "1.5000000000000000000", "fraction digits beyond 64 bits are zeros"},
      {float_text(-1e13, 6), "-10000000000000.000000", "not saturated digits"},
      {float_text(0.5, 30), "0." + std::string(1, '5') + std::string(29, '0'), ""},
      {float_text(1e300, 0), "9223372036854775807", "beyond 64 bits saturates"},
      {float_text(-1e300, 1), "-922337203685477580.7", ""},
      {float_text(std::nan(""), 1), "0.0", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.why;
  char untouched = 'Z';
  qiv::format_float(&untouched, 0, 2, false, 1.0);
  EXPECT_EQ(untouched, 'Z');
}

TEST(NumberFormat, FixedOutputsRefuseOrCutWhatDoesNotFit) {
  qiv::string_fixed33 out;
  out.set_string(std::string(22, '.').c_str());
  qiv::format_uint64(out, 1234567890);  // 32 bytes: fits exactly
  EXPECT_STREQ(out.get_ptr() + 22, "1234567890");
  EXPECT_THROW(out.add_uint(1), qiv::exception_overflow);

  char buffer[20];
  std::memset(buffer, '#', sizeof(buffer));
  qiv::format_into16(buffer, "%.5u BPM", 120u);
  EXPECT_STREQ(buffer, "00120 BPM");
  qiv::format_into16(buffer, "%s", "a label far longer than sixteen bytes");
  EXPECT_EQ(std::strlen(buffer), 15u);
  EXPECT_EQ(buffer[16], '#');
}

TEST(DurationFormat, ClockGrowsHoursDaysAndWeeksAndFractionsRound) {
  struct { std::string got, expected; const char* why; } cases[] = {
      {span(0), "0:00", ""},
      {span(65), "1:05", ""},
      {span(3599), "59:59", ""},
      {span(3600), "1:00:00", "hours from one hour on"},
      {span(86400 + 3661), "1d 1:01:01", ""},
      {span(604800), "1wk 0d 0:00:00", "weeks carry the full clock"},
      {span(UINT64_MAX), "30500568904943wk 0d 7:00:15", "fits the fixed string"},
      {span_ex(65.25, 1), "1:05.3", ""},
      {span_ex(65.25, 3), "1:05.250", ""},
      {span_ex(59.9996, 3), "1:00.000", "rounding carries into the minutes"},
      {span_ex(3600.05, 1), "1:00:00.1", ""},
      {span_ex(65.5, 0), "1:06.0", "no decimals still writes a fraction"},
      {span_ex(-3.5, 1), "0:00.0", "negative"},
      {span_ex(std::nan(""), 2), "0:00.00", ""},
      {span_ex(1e300, 0), "30500568904943wk 0d 7:00:15.0", ""},
      {span_ex(0.5, 70), "0:00.5000000000000000000", "a scale beyond 10^19 would wrap or divide by 0"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.why;
}

TEST(FileSizeFormat, LargestUnitAndThreeTruncatedSignificantDigits) {
  struct { std::string got, expected; const char* why; } cases[] = {
      {size_text(0), "0 B", ""},
      {size_text(1023), "1023 B", ""},
      {size_text(1024), "1 KB", ""},
      {size_text(1048575), "1023 KB", ""},
      {size_text(10 * MB), "10 MB", ""},
      {size_text(2048 * TB), "2048 TB", "no unit above TB"},
      {size_text(UINT64_MAX), "16777215 TB", ""},
      {size_text(1536), "1.5 KB", ""},
      {size_text(1024 + 51), "1.04 KB", "1.0498 is truncated, not rounded"},
      {size_text(1024 + 10), "1 KB", "both fraction digits are zero"},
      {size_text(99 * GB + GB - 1), "99.9 GB", ""},
      {size_text(100 * GB + GB / 2), "100 GB", "three whole digits: no fraction"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.why;
  EXPECT_EQ(qiv::format_file_size(1536).unit_bytes, KB);
}

} // namespace
