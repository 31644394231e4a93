// Reading numbers from text that may be damaged or hostile, and from stored fields.
#include "foundation/number_parse.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "foundation/exceptions.h"
#include "foundation/number_readers.h"

namespace {

double parse(const char* text, std::size_t max = ~std::size_t(0)) {
  return static_cast<double>(qiv::string_to_float(text, max));
}

TEST(StringToFloat, ReadsOneNumberAndStopsAtWhatEndsItTheMaximumOr127Bytes) {
  struct { const char* text; double expected; const char* why; } cases[] = {
      {"1,5", 1.5, "a comma is a decimal mark"},
      {" -2.5e3x", -2500.0, "spaces, sign, exponent, junk"},
      {"-6.54 dB", -6.54, ""},
      {"1.5.7", 1.5, "a second decimal mark ends it"},
      {"2e1.5", 20.0, "the exponent ends it"},
      {"", 0.0, "no digits"},
      {"0e999999", 0.0, "zero whatever the exponent"},
      {"1e-99999999999999999999999", 0.0, "huge exponents saturate instead of wrapping"},
  };
  for (const auto& c : cases) EXPECT_EQ(parse(c.text), c.expected) << c.text << " " << c.why;
  EXPECT_GT(parse("1e99999999999999999999999"), 1e300);
  // 25 significant digits do not fit a 64-bit mantissa; wrapping would give an unrelated number.
  EXPECT_NEAR(parse("1234567890123456789012345"), 1.234567890123456789e24, 1e10);
  EXPECT_NEAR(parse("0.98765432109876543210987"), 0.98765432109876543, 1e-15);
  EXPECT_NEAR(parse("-99999999999999999999"), -1e20, 1e5);
  EXPECT_EQ(parse("12345", 3), 123.0);
  std::string long_text(127, '0');  // bytes beyond 127 are never looked at
  long_text += "99";
  EXPECT_EQ(parse(long_text.c_str()), 0.0);
  const char unterminated[3] = {'4', '2', '7'};
  EXPECT_EQ(parse(unterminated, 2), 42.0);
}

TEST(IntegerParse, LenientReadersWrapAndStrictOnesRefuseBadDigitsAndOverflow) {
  struct { std::uint64_t got, expected; const char* why; } cases[] = {
      {qiv::atoui64_n("12a34", 10), 12, ""},
      {qiv::atoui64_n("a12", 10), 0, ""},
      {qiv::atoui64_n("18446744073709551615", 100), UINT64_MAX, ""},
      {qiv::atoui64_n("18446744073709551616", 100), 0, "wraps"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.why;
  for (char c : {'g', 'G', '/', ':', '@', '`', ' ', '\0'})
    EXPECT_THROW(qiv::hex_digit_value(c), qiv::exception_invalid_params) << int(c);

  EXPECT_EQ(qiv::parse_hex_u32("0000000012345678", 16), 0x12345678u);  // leading zeros are not significant
  EXPECT_EQ(qiv::parse_hex_u32("ffzz", 2), 0xFFu);
  EXPECT_EQ(qiv::parse_dec_u32("4294967295", 10), 4294967295u);
  EXPECT_EQ(qiv::parse_dec_u32("12345", 2), 12u);
  EXPECT_THROW(qiv::parse_hex_u32("0x10", 4), qiv::exception_invalid_params);
  EXPECT_THROW(qiv::parse_hex_u32("100000000", 9), qiv::exception_overflow);
  EXPECT_THROW(qiv::parse_dec_u32("4294967296", 10), qiv::exception_overflow);
  EXPECT_THROW(qiv::parse_dec_u32("-1", 2), qiv::exception_invalid_params);
}

} // namespace
