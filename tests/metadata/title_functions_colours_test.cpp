#include <gtest/gtest.h>

#include <string>

#include "title_function_test_fixture.h"

namespace {

using TitleColours = TitleFunctionTest;

std::string code(const char* digits) { return std::string("\x03") + digits + "\x03"; }

TEST_F(TitleColours, RgbWritesBlueGreenRedClamped) {
  EXPECT_EQ(run("$rgb(255,0,0)"), code("0000FF"));
  EXPECT_EQ(run("$rgb(1,2,3)"), code("030201"));
  EXPECT_EQ(run("$rgb(300,-5,16)"), code("1000FF"));
  EXPECT_EQ(run("$rgb(255,0,0,0,0,255)"), code("0000FF|FF0000"));
  EXPECT_EQ(run("$rgb()"), "\x03\x03");
  EXPECT_EQ(run("$rgb(1,2)"), "");
  EXPECT_FALSE(truth_of("$rgb(%n%,%n%,%n%)"));
}

TEST_F(TitleColours, HslMatchesTheEquivalentRgb) {
  EXPECT_EQ(run("$hsl(0,240,120)"), run("$rgb(255,0,0)"));
  EXPECT_EQ(run("$hsl(80,240,120)"), run("$rgb(0,255,0)"));
  EXPECT_EQ(run("$hsl(160,240,120)"), run("$rgb(0,0,255)"));
  EXPECT_EQ(run("$hsl(0,0,240)"), run("$rgb(255,255,255)"));
  EXPECT_EQ(run("$hsl(240,240,120)"), run("$rgb(255,0,255)"));
  EXPECT_EQ(run("$hsl(-9,999,120)"), run("$rgb(255,0,0)"));
}

TEST_F(TitleColours, BlendRunsThereAndBack) {
  EXPECT_EQ(run("$blend($rgb(0,0,0),$rgb(200,100,0),1,2)"), run("$rgb(100,50,0)"));
  EXPECT_EQ(run("$blend($rgb(0,0,0),$rgb(200,100,0),2,2)"), run("$rgb(200,100,0)"));
  EXPECT_EQ(run("$blend($rgb(0,0,0),$rgb(200,100,0),4,2)"), run("$rgb(0,0,0)"));
  EXPECT_EQ(run("$blend($rgb(0,0,0),$rgb(200,100,0),3,0)"), run("$rgb(100,50,0)"));
  EXPECT_EQ(run("$blend($rgb(0,0,0),$rgb(200,0,0),1,9223372036854775807)"), run("$rgb(0,0,0)"));
  EXPECT_EQ(run("$blend(red,$rgb(1,1,1),0,1)"), "");
  EXPECT_FALSE(truth_of("$blend(red,$rgb(1,1,1),0,1)"));
}

TEST_F(TitleColours, BlendTakesBlackForAMissingSecondColour) {
  EXPECT_EQ(run("$blend($rgb(0,0,0,200,0,0),$rgb(0,0,0),1,2)"), run("$rgb(0,0,0,100,0,0)"));
}

TEST_F(TitleColours, TransitionColoursEveryCharacter) {
  EXPECT_EQ(run("$transition(ab,$rgb(0,0,0),$rgb(200,0,0))"),
            run("$rgb(0,0,0)a$rgb(200,0,0)b$rgb()"));
  EXPECT_EQ(run("$transition(abc,nocode,$rgb(1,1,1))"), "abc");
  EXPECT_EQ(run("$transition(abc,nocode,$rgb(1,1,1),$puts(v,1))$get(v)"), "abc");
}

}  // namespace
