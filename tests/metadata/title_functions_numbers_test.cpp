#include <gtest/gtest.h>

#include <string>

#include "title_function_test_fixture.h"

namespace {

using TitleNumbers = TitleFunctionTest;

TEST_F(TitleNumbers, NumPadsWithZerosCountingTheSign) {
  EXPECT_EQ(run("$num(-5,3)"), "-05");
  EXPECT_EQ(run("$num(5,3)"), "005");
  EXPECT_EQ(run("$dec(1234,2)"), "1234");
  EXPECT_EQ(run("$num(7,40)"), std::string(31, '0') + "7");
  EXPECT_EQ(run("$num(7,-1)"), std::string(31, '0') + "7");
  EXPECT_EQ(run("$num(-9223372036854775808,0)"), "-9223372036854775808");
  EXPECT_TRUE(truth_of("$num(%n%,3)"));
}

TEST_F(TitleNumbers, HexUsesTheLow32BitsInUpperCase) {
  EXPECT_EQ(run("$hex(255,4)"), "00FF");
  EXPECT_EQ(run("$hex(255,-4)"), "FF");
  EXPECT_EQ(run("$hex(-1,0)"), "FFFFFFFF");
  EXPECT_EQ(run("$hex(4294967296,1)"), "0");
  EXPECT_EQ(run("$hex(1,99)").size(), 32u);
}

TEST_F(TitleNumbers, ArithmeticFoldsLeftToRight) {
  EXPECT_EQ(run("$add()"), "0");
  EXPECT_EQ(run("$add(1,2,3)"), "6");
  EXPECT_EQ(run("$sub(10,3,2)"), "5");
  EXPECT_EQ(run("$mul()"), "1");
  EXPECT_EQ(run("$mul(2,-3)"), "-6");
  EXPECT_EQ(run("$max(3,-7,5)"), "5");
  EXPECT_EQ(run("$min(3,-7,5)"), "-7");
  EXPECT_EQ(run("$add(12abc,abc)"), "12");
  EXPECT_EQ(run("$sub()"), "");
  EXPECT_TRUE(truth_of("$add(1,%n%)"));
  EXPECT_FALSE(truth_of("$add(1,2)"));
}

TEST_F(TitleNumbers, DivisionTruncatesAndSkipsZeroDivisors) {
  EXPECT_EQ(run("$div(10,0)"), "10");
  EXPECT_EQ(run("$mod(7,0)"), "7");
  EXPECT_EQ(run("$div(-7,2)"), "-3");
  EXPECT_EQ(run("$mod(-7,2)"), "-1");
  EXPECT_EQ(run("$div(100,0,5)"), "20");
}

TEST_F(TitleNumbers, OverflowWrapsInsteadOfTrapping) {
  EXPECT_EQ(run("$add(9223372036854775807,1)"), "-9223372036854775808");
  EXPECT_EQ(run("$div(-9223372036854775808,-1)"), "-9223372036854775808");
  EXPECT_EQ(run("$mod(-9223372036854775808,-1)"), "0");
  EXPECT_EQ(run("$muldiv(-9223372036854775808,1,-1)"), "-9223372036854775808");
}

TEST_F(TitleNumbers, MuldivWithAZeroDivisorWritesMinusOne) {
  EXPECT_EQ(run("$muldiv(5,3,0)"), "-1");
  EXPECT_TRUE(truth_of("$muldiv(5,3,0)"));
  EXPECT_EQ(run("$muldiv($puts(v,1),3,0)$get(v)"), "-1");
  EXPECT_EQ(run("$muldiv(-7,3,2)"), "-10");
}

TEST_F(TitleNumbers, RomanNumeralsWithinRange) {
  EXPECT_EQ(run("$roman(1994)"), "MCMXCIV");
  EXPECT_EQ(run("$roman(-14)"), "XIV");
  EXPECT_EQ(run("$roman(0)"), "");
  EXPECT_EQ(run("$roman(100001)"), "");
  EXPECT_EQ(run("$roman(-2147483648)"), "");
}

TEST_F(TitleNumbers, ProgressBarsHaveTheirLengthInCells) {
  EXPECT_EQ(run("$progress(50,100,10,X,-)"), "-----X----");
  EXPECT_EQ(run("$progress(500,100,4,X,-)"), "---X");
  EXPECT_EQ(run("$progress(-5,100,4,X,-)"), "X---");
  EXPECT_EQ(run("$progress(1,0,0,X,-)"), "X");
  EXPECT_EQ(run("$progress(0,1,9999,X,)"), "X");
  EXPECT_EQ(run("$progress2(50,100,4,#,-)"), "##--");
  EXPECT_EQ(run("$progress2(200,100,4,#,-)"), "####");
  EXPECT_EQ(run("$progress2(-3,100,4,#,-)"), "----");
  EXPECT_EQ(run("$progress(0,1,-5,X,-)"), "X");
  EXPECT_TRUE(truth_of("$progress(%n%,%n%,2,X,-)"));
  EXPECT_FALSE(truth_of("$progress(%n%,100,2,X,-)"));
}

}  // namespace
