#include "foundation/number_parse.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "foundation/exceptions.h"

namespace {

double parse(const char* text, std::size_t max = ~std::size_t(0)) {
  return static_cast<double>(qiv::string_to_float(text, max));
}

TEST(StringToFloat, ReadsSignDecimalMarkAndExponent) {
  EXPECT_EQ(parse("1,5"), 1.5);
  EXPECT_EQ(parse("1.5"), 1.5);
  EXPECT_EQ(parse(" -2.5e3x"), -2500.0);
  EXPECT_EQ(parse("+4"), 4.0);
  EXPECT_EQ(parse("125E-2"), 1.25);
  EXPECT_EQ(parse("-6.54 dB"), -6.54);
}

TEST(StringToFloat, StopsAtTheFirstCharacterThatIsNotPartOfTheNumber) {
  EXPECT_EQ(parse("1.5.7"), 1.5);   // a second decimal mark ends the number
  EXPECT_EQ(parse("1.5,7"), 1.5);
  EXPECT_EQ(parse("2e1.5"), 20.0);  // the exponent ends it as well
  EXPECT_EQ(parse("12 34"), 12.0);
  EXPECT_EQ(parse("--3"), 0.0);
}

TEST(StringToFloat, TextWithoutDigitsIsZero) {
  EXPECT_EQ(parse(""), 0.0);
  EXPECT_EQ(parse("abc"), 0.0);
  EXPECT_EQ(parse("-"), 0.0);
  EXPECT_EQ(parse(".e5"), 0.0);
  EXPECT_EQ(parse("0e999999"), 0.0);  // zero stays zero whatever the exponent
}

TEST(StringToFloat, ReadsNoFurtherThanMaximumOr127Bytes) {
  EXPECT_EQ(parse("12345", 3), 123.0);
  // Bytes beyond 127 are never looked at, not even to end the number.
  std::string long_text(127, '0');
  long_text += "99";
  EXPECT_EQ(parse(long_text.c_str()), 0.0);
  // And a text without NUL inside the maximum is not read past it.
  const char unterminated[3] = {'4', '2', '7'};
  EXPECT_EQ(parse(unterminated, 2), 42.0);
}

TEST(StringToFloat, LongDigitRunsLosePrecisionNotMagnitude) {
  // 25 significant digits do not fit a 64-bit mantissa; wrapping would give an
  // unrelated number.
  EXPECT_NEAR(parse("1234567890123456789012345"), 1.234567890123456789e24, 1e10);
  EXPECT_NEAR(parse("0.98765432109876543210987"), 0.98765432109876543, 1e-15);
  EXPECT_NEAR(parse("-99999999999999999999"), -1e20, 1e5);
}

TEST(StringToFloat, HugeExponentsSaturateInsteadOfWrapping) {
  EXPECT_EQ(parse("1e-99999999999999999999999"), 0.0);
  EXPECT_GT(parse("1e99999999999999999999999"), 1e300);
}

TEST(AtouiN, ReadsLeadingDigitsWithinTheLimit) {
  EXPECT_EQ(qiv::atoui_n("1234", 2), 12u);
  EXPECT_EQ(qiv::atoui_n("12a4", 10), 12u);
  EXPECT_EQ(qiv::atoui_n(" 12", 3), 0u);   // no spaces
  EXPECT_EQ(qiv::atoui_n("-12", 3), 0u);   // no sign
  EXPECT_EQ(qiv::atoui_n("4294967296", 10), 0u);  // wraps
}

TEST(Atoui64N, ReadsTheDigitRunAtTheStart) {
  EXPECT_EQ(qiv::atoui64_n("12a34", 10), 12u);
  EXPECT_EQ(qiv::atoui64_n("a12", 10), 0u);
  EXPECT_EQ(qiv::atoui64_n("18446744073709551615", 100), UINT64_MAX);
  EXPECT_EQ(qiv::atoui64_n("18446744073709551616", 100), 0u);  // wraps
  EXPECT_EQ(qiv::atoui64_n("987", 2), 98u);
}

TEST(HexDigitValue, AcceptsBothCasesAndRejectsEverythingElse) {
  EXPECT_EQ(qiv::hex_digit_value('0'), 0u);
  EXPECT_EQ(qiv::hex_digit_value('9'), 9u);
  EXPECT_EQ(qiv::hex_digit_value('a'), 10u);
  EXPECT_EQ(qiv::hex_digit_value('F'), 15u);
  for (char c : {'g', 'G', '/', ':', '@', '`', ' ', '\0'}) {
    EXPECT_THROW(qiv::hex_digit_value(c), qiv::exception_invalid_params) << int(c);
  }
}

TEST(Pow10U64, ExactUpTo19AndWrapsAbove) {
  EXPECT_EQ(qiv::pow10_u64(0), 1u);
  EXPECT_EQ(qiv::pow10_u64(1), 10u);
  EXPECT_EQ(qiv::pow10_u64(7), 10000000u);
  EXPECT_EQ(qiv::pow10_u64(19), 10000000000000000000u);
  EXPECT_EQ(qiv::pow10_u64(20), 10000000000000000000u * 10u);  // modulo 2^64
}

} // namespace
