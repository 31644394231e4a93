#include "foundation/number_readers.h"

#include <gtest/gtest.h>

#include "foundation/exceptions.h"

namespace {

TEST(NumberReaders, HexAcceptsBothCasesAndEightDigits) {
  EXPECT_EQ(qiv::parse_hex_u32("409", 3), 0x409u);
  EXPECT_EQ(qiv::parse_hex_u32("aBcD", 4), 0xABCDu);
  EXPECT_EQ(qiv::parse_hex_u32("FFFFFFFF", 8), 0xFFFFFFFFu);
  EXPECT_EQ(qiv::parse_hex_u32("0000000012345678", 16), 0x12345678u);  // leading zeros are not significant
  EXPECT_EQ(qiv::parse_hex_u32("", 0), 0u);
}

TEST(NumberReaders, HexRefusesBadDigitsAndNinthSignificantDigit) {
  EXPECT_THROW(qiv::parse_hex_u32("12g", 3), qiv::exception_invalid_params);
  EXPECT_THROW(qiv::parse_hex_u32("0x10", 4), qiv::exception_invalid_params);
  EXPECT_THROW(qiv::parse_hex_u32("100000000", 9), qiv::exception_overflow);
}

TEST(NumberReaders, DecimalReadsUpToTheLimitAndRefusesMore) {
  EXPECT_EQ(qiv::parse_dec_u32("1033", 4), 1033u);
  EXPECT_EQ(qiv::parse_dec_u32("4294967295", 10), 4294967295u);
  EXPECT_EQ(qiv::parse_dec_u32("", 0), 0u);
  EXPECT_THROW(qiv::parse_dec_u32("4294967296", 10), qiv::exception_overflow);
  EXPECT_THROW(qiv::parse_dec_u32("99999999999", 11), qiv::exception_overflow);
  EXPECT_THROW(qiv::parse_dec_u32("12a", 3), qiv::exception_invalid_params);
  EXPECT_THROW(qiv::parse_dec_u32("-1", 2), qiv::exception_invalid_params);
}

TEST(NumberReaders, LengthLimitsTheDigitsRead) {
  EXPECT_EQ(qiv::parse_dec_u32("12345", 2), 12u);
  EXPECT_EQ(qiv::parse_hex_u32("ffzz", 2), 0xFFu);
}

} // namespace
