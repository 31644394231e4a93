#include "foundation/time_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

const char* span(std::uint64_t seconds) {
  static qiv::string_fixed128 text;
  text = qiv::format_timespan(seconds);
  return text.get_ptr();
}

const char* span_ex(double seconds, unsigned decimals) {
  static qiv::string_fixed128 text;
  text = qiv::format_time_ex(seconds, decimals);
  return text.get_ptr();
}

TEST(FormatTimespan, HoursAppearOnlyFromOneHourOn) {
  EXPECT_STREQ(span(0), "0:00");
  EXPECT_STREQ(span(65), "1:05");
  EXPECT_STREQ(span(3599), "59:59");
  EXPECT_STREQ(span(3600), "1:00:00");
  EXPECT_STREQ(span(3661), "1:01:01");
}

TEST(FormatTimespan, DaysAndWeeksAlwaysCarryTheFullClock) {
  EXPECT_STREQ(span(86400), "1d 0:00:00");
  EXPECT_STREQ(span(86400 + 3661), "1d 1:01:01");
  EXPECT_STREQ(span(604800), "1wk 0d 0:00:00");
  EXPECT_STREQ(span(2 * 604800 + 3 * 86400 + 59), "2wk 3d 0:00:59");
}

TEST(FormatTimespan, LargestValueFitsTheFixedString) {
  EXPECT_STREQ(span(UINT64_MAX), "30500568904943wk 0d 7:00:15");
}

TEST(FormatTimeEx, FractionIsRoundedAndPaddedToTheDecimals) {
  EXPECT_STREQ(span_ex(65.25, 1), "1:05.3");
  EXPECT_STREQ(span_ex(65.25, 3), "1:05.250");
  EXPECT_STREQ(span_ex(59.9996, 3), "1:00.000");  // rounding carries into the minutes
  EXPECT_STREQ(span_ex(0.004, 2), "0:00.00");
  EXPECT_STREQ(span_ex(3600.05, 1), "1:00:00.1");
}

TEST(FormatTimeEx, NoDecimalsStillWritesAFraction) {
  EXPECT_STREQ(span_ex(65.4, 0), "1:05.0");
  EXPECT_STREQ(span_ex(65.5, 0), "1:06.0");
}

TEST(FormatTimeEx, DurationsOutsideTheRangeDoNotProduceGarbage) {
  EXPECT_STREQ(span_ex(-3.5, 1), "0:00.0");
  EXPECT_STREQ(span_ex(std::nan(""), 2), "0:00.00");
  EXPECT_STREQ(span_ex(1e300, 0), "30500568904943wk 0d 7:00:15.0");
  // A scale beyond 10^19 would wrap, and from 10^64 on divide by zero.
  EXPECT_STREQ(span_ex(0.5, 70), "0:00.5000000000000000000");
}

} // namespace
