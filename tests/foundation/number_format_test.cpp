#include "foundation/number_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cmath>
#include <cstring>
#include <string>

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

TEST(FormatUint, PadsToTheMinimumWithinSixtyThreeDigits) {
  EXPECT_EQ(uint_text(0, 0), "0");
  EXPECT_EQ(uint_text(5, 3), "005");
  EXPECT_EQ(uint_text(12345, 2), "12345");
  EXPECT_EQ(uint_text(UINT64_MAX, 0), "18446744073709551615");
  EXPECT_EQ(uint_text(7, 100), std::string(62, '0') + "7");
}

TEST(Int64ToDecimal, SignCountsTowardTheMinimum) {
  EXPECT_EQ(int_text(-5, 3), "-05");
  EXPECT_EQ(int_text(-5, 0), "-5");
  EXPECT_EQ(int_text(-5, 1), "-5");
  EXPECT_EQ(int_text(5, 3), "005");
  EXPECT_EQ(int_text(INT64_MIN, 0), "-9223372036854775808");
  EXPECT_EQ(int_text(INT64_MAX, 0), "9223372036854775807");
  EXPECT_EQ(int_text(-1, 100), "-" + std::string(61, '0') + "1");
}

TEST(FormatHex, UpperCaseDigitsPaddedAtMostToSixteen) {
  EXPECT_EQ(hex_text(0xABC, 0), "ABC");
  EXPECT_EQ(hex_text(0xABC, 6), "000ABC");
  EXPECT_EQ(hex_text(0, 0), "0");
  EXPECT_EQ(hex_text(0xff, 40), "00000000000000FF");
  EXPECT_EQ(hex_text(0x0123456789ABCDEFull, 1), "123456789ABCDEF");
}

TEST(FormatHexString, SixteenBytesInMemoryOrderTwoDigitsEach) {
  const std::uint8_t bytes[16] = {0x00, 0x01, 0x0A, 0xFF, 0x10, 0x20, 0x30, 0x40,
                                  0x50, 0x60, 0x70, 0x80, 0x90, 0xA0, 0xB0, 0xC5};
  EXPECT_STREQ(qiv::format_hex_string(bytes).get_ptr(), "00010AFF102030405060708090A0B0C5");
}

TEST(FormatTenths, SignWholePartAndOneDigit) {
  EXPECT_STREQ(qiv::format_tenths(-25).get_ptr(), "-2.5");
  EXPECT_STREQ(qiv::format_tenths(7).get_ptr(), "0.7");
  EXPECT_STREQ(qiv::format_tenths(-7).get_ptr(), "-0.7");
  EXPECT_STREQ(qiv::format_tenths(0).get_ptr(), "0.0");
  EXPECT_STREQ(qiv::format_tenths(120).get_ptr(), "12.0");
  EXPECT_STREQ(qiv::format_tenths(INT64_MIN).get_ptr(), "-922337203685477580.8");
}

TEST(FormatFloat, RoundsHalfAwayFromZero) {
  EXPECT_EQ(float_text(2.5, 0), "3");
  EXPECT_EQ(float_text(-2.5, 0), "-3");
  EXPECT_EQ(float_text(-1.234, 2), "-1.23");
  EXPECT_EQ(float_text(0.125, 2), "0.13");
  EXPECT_EQ(float_text(9.995, 1), "10.0");
}

TEST(FormatFloat, SmallValuesGetALeadingZeroAndPadding) {
  EXPECT_EQ(float_text(0.05, 3), "0.050");
  EXPECT_EQ(float_text(0, 2), "0.00");
  EXPECT_EQ(float_text(0, 0), "0");
  EXPECT_EQ(float_text(0.7, 1), "0.7");
}

TEST(FormatFloat, PlusOnlyWhenForcedAndNeverOnNegatives) {
  EXPECT_EQ(float_text(7, 2, true), "+7.00");
  EXPECT_EQ(float_text(7, 2, false), "7.00");
  EXPECT_EQ(float_text(-7, 2, true), "-7.00");
}

TEST(FormatFloat, OutputIsCutToTheBufferAndAlwaysTerminated) {
  EXPECT_EQ(float_text(123.456, 2, false, 5), "123.");
  EXPECT_EQ(float_text(-123.456, 2, false, 2), "-");
  EXPECT_EQ(float_text(123.456, 2, false, 1), "");
  EXPECT_EQ(float_text(0.001, 1000, false, 8), "0.00000");
  char untouched = 'Z';
  qiv::format_float(&untouched, 0, 2, false, 1.0);
  EXPECT_EQ(untouched, 'Z');
}

TEST(FormatFloat, ValuesBeyondSixtyFourBitsSaturateAndNanShowsZero) {
  EXPECT_EQ(float_text(1e300, 0), "9223372036854775807");
  EXPECT_EQ(float_text(-1e300, 1), "-922337203685477580.7");
  EXPECT_EQ(float_text(std::nan(""), 1), "0.0");
}

} // namespace
