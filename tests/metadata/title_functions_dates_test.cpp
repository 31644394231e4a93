#include <gtest/gtest.h>

#include "title_function_test_fixture.h"

namespace {

using TitleDates = TitleFunctionTest;

TEST_F(TitleDates, DatePartsOfEachForm) {
  EXPECT_EQ(run("$date(2004-07)"), "2004-07-00");
  EXPECT_EQ(run("$date(2004-07-01 and more)"), "2004-07-01");
  EXPECT_EQ(run("$year(2004)"), "2004");
  EXPECT_EQ(run("$month(2004-07-01)"), "07");
  EXPECT_EQ(run("$day_of_month(2004-07-01)"), "01");
}

TEST_F(TitleDates, UnreadableDatesGiveZeros) {
  EXPECT_EQ(run("$year(2004-13-01)"), "0000");
  EXPECT_EQ(run("$year(04)"), "0000");
  EXPECT_EQ(run("$date(2004-07-32)"), "0000-00-00");
  EXPECT_EQ(run("$date(2004-07-01x)"), "0000-00-00");
  EXPECT_EQ(run("$month(2004)"), "00");
  EXPECT_FALSE(truth_of("$month(2004)"));
}

TEST_F(TitleDates, OnlyTheFirstArgumentIsRead) {
  EXPECT_EQ(run("$year(2004,$puts(v,1))$get(v)"), "2004");
  EXPECT_EQ(run("$year()"), "");
}

TEST_F(TitleDates, TimeNeedsTheFullTimestamp) {
  EXPECT_EQ(run("$time(2004-07-01 12:34)"), "12:34");
  EXPECT_EQ(run("$time(2004-07-01  12:34:56  )"), "12:34:56");
  EXPECT_EQ(run("$time(12:34)"), "?");
  EXPECT_EQ(run("$time(2004-07-01 12:34x)"), "?");
  EXPECT_EQ(run("$time(2004-07-01)"), "?");
  EXPECT_FALSE(truth_of("$time(12:34)"));
}

}  // namespace
