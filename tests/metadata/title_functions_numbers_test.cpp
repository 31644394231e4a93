#include <gtest/gtest.h>

#include <string>

#include "title_function_test_fixture.h"

namespace {

using TitleNumbers = TitleFunctionTest;

TEST_F(TitleNumbers, FormatsAndArithmetic) {
  expect_texts({
      {"$num(-5,3)", "-05"},  // the sign counts toward the width
      {"$dec(1234,2)", "1234"},
      {"$num(7,40)", std::string(31, '0') + "7"},
      {"$num(7,-1)", std::string(31, '0') + "7"},  // a negative width asks for the cap
      {"$num(-9223372036854775808,0)", "-9223372036854775808"},
      {"x$num(%n%,4)y", "x0012y"},
      {"$hex(255,4)", "00FF"},
      {"$hex(255,-4)", "FF"},
      {"$hex(-1,0)", "FFFFFFFF"},
      {"$hex(4294967296,1)", "0"},  // the low 32 bits
      {"$add()$mul()", "01"},
      {"$add(1,2,3)", "6"},
      {"$sub(10,3,2)", "5"},
      {"$mul(2,-3)", "-6"},
      {"$max(3,-7,5)$min(3,-7,5)", "5-7"},
      {"$add(12abc,abc)", "12"},
      {"$sub()", ""},
      {"$div(10,0)$mod(7,0)", "107"},  // a zero divisor is skipped
      {"$div(-7,2)$mod(-7,2)", "-3-1"},
      {"$div(100,0,5)", "20"},
      {"$add(9223372036854775807,1)", "-9223372036854775808"},  // wraps instead of trapping
      {"$div(-9223372036854775808,-1)", "-9223372036854775808"},
      {"$mod(-9223372036854775808,-1)", "0"},
      {"$muldiv(-9223372036854775808,1,-1)", "-9223372036854775808"},
      {"$muldiv(5,3,0)", "-1"},
      {"$muldiv($puts(v,1),3,0)$get(v)", "-1"},  // a and b are not evaluated
      {"$muldiv(-7,3,2)", "-10"},
      {"$roman(1994)", "MCMXCIV"},
      {"$roman(-14)", "XIV"},
      {"$roman(0)$roman(100001)$roman(-2147483648)", ""},
  });
  EXPECT_EQ(run("$hex(1,99)").size(), 32u);
  expect_truths({{"$num(%n%,3)", true}, {"$add(1,%n%)", true}, {"$add(1,2)", false}, {"$muldiv(5,3,0)", true}});
}

TEST_F(TitleNumbers, ProgressBarsHaveTheirLengthInCells) {
  expect_texts({
      {"$progress(50,100,10,X,-)", "-----X----"},
      {"$progress(500,100,4,X,-)", "---X"},
      {"$progress(-5,100,4,X,-)", "X---"},
      {"$progress(1,0,0,X,-)", "X"},  // range and length clamped up to 1
      {"$progress(0,1,9999,X,)", "X"},
      {"$progress(0,1,-5,X,-)", "X"},
      {"$progress2(50,100,4,#,-)", "##--"},
      {"$progress2(200,100,4,#,-)", "####"},
      {"$progress2(-3,100,4,#,-)", "----"},
  });
  expect_truths({{"$progress(%n%,%n%,2,X,-)", true}, {"$progress(%n%,100,2,X,-)", false}});
}

}  // namespace
