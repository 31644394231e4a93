#include <gtest/gtest.h>

#include <string>

#include "title_function_test_fixture.h"

namespace {

using TitleColours = TitleFunctionTest;

std::string code(const char* digits) { return std::string("\x03") + digits + "\x03"; }

TEST_F(TitleColours, CodesAreBlueGreenRedClamped) {
  expect_texts({
      {"$rgb(255,0,0)", code("0000FF")},
      {"$rgb(1,2,3)", code("030201")},
      {"$rgb(300,-5,16)", code("1000FF")},
      {"$rgb(255,0,0,0,0,255)", code("0000FF|FF0000")},
      {"$rgb()", "\x03\x03"},
      {"$rgb(1,2)", ""},
      {"$hsl(0,240,120)", code("0000FF")},
      {"$hsl(80,240,120)", code("00FF00")},
      {"$hsl(160,240,120)", code("FF0000")},
      {"$hsl(0,0,240)", code("FFFFFF")},
      {"$hsl(240,240,120)", code("FF00FF")},  // the top of the scale is magenta
      {"$hsl(-9,999,120)", code("0000FF")},
  });
  EXPECT_FALSE(truth_of("$rgb(%n%,%n%,%n%)"));
}

TEST_F(TitleColours, BlendRunsThereAndBackOverAnyRange) {
  expect_texts({
      {"$blend($rgb(0,0,0),$rgb(200,100,0),1,2)", code("003264")},
      {"$blend($rgb(0,0,0),$rgb(200,100,0),2,2)", code("0064C8")},
      {"$blend($rgb(0,0,0),$rgb(200,100,0),4,2)", code("000000")},  // back at the start
      {"$blend($rgb(0,0,0),$rgb(200,100,0),3,0)", code("003264")},  // no range: the midpoint
      {"$blend($rgb(200,0,0),$rgb(0,0,0),3,-1)", code("000064")},
      {"$blend(000000,FFFFFF,4294967296,4294967296)", ""},           // not codes
      {"$blend($rgb(0,0,0),$rgb(255,255,255),4294967296,4294967296)", code("FFFFFF")},
      {"$blend($rgb(0,0,0),$rgb(255,255,255),4611686018427387904,9223372036854775807)", code("7F7F7F")},
      {"$blend($rgb(0,0,0),$rgb(255,255,255),-9223372036854775808,9223372036854775807)", code("FEFEFE")},
      {"x$blend($rgb(0,0,0),$rgb(200,0,0),1,9223372036854775807)y", "x" + code("000000") + "y"},
      {"$blend($rgb(0,0,0,200,0,0),$rgb(0,0,0),1,2)", code("000000|000064")},  // black as the missing second
  });
  expect_truths({{"$blend(red,$rgb(1,1,1),0,1)", false}, {"$blend($rgb(),$rgb(1,1,1),0,1)", false}});
}

TEST_F(TitleColours, TransitionColoursEveryCharacter) {
  expect_texts({
      {"$transition(ab,$rgb(0,0,0),$rgb(200,0,0))", code("000000") + "a" + code("0000C8") + "b\x03\x03"},
      {"$transition(ab,$rgb(0,0,0),$rgb(255,0,0),4294967296,4294967296)",
       code("0000FF") + "a" + code("0000FE") + "b\x03\x03"},
      {"$transition(abc,nocode,$rgb(1,1,1))", "abc"},
      {"$transition(abc,nocode,$rgb(1,1,1),$puts(v,1))$get(v)", "abc"},  // start not evaluated
  });
}

}  // namespace
