#include <gtest/gtest.h>

#include "title_function_test_fixture.h"

namespace {

using TitleDates = TitleFunctionTest;

TEST_F(TitleDates, DatesAndTimesOfEachForm) {
  expect_texts({
      {"$date(2004-07)", "2004-07-00"},
      {"$date(2004-07-01 and more)", "2004-07-01"},
      {"$year(2004)$month(2004-07-01)$day_of_month(2004-07-01)", "20040701"},
      {"$year(2004-13-01)", "0000"},
      {"$year(04)", "0000"},
      {"$date(2004-07-32)", "0000-00-00"},
      {"$date(2004-07-01x)", "0000-00-00"},
      {"$month(2004)", "00"},
      {"$year(2004,$puts(v,1))$get(v)", "2004"},  // only the first argument is read
      {"$year()", ""},
      {"$time(2004-07-01 12:34)", "12:34"},
      {"$time(2004-07-01  12:34:56  )", "12:34:56"},
      {"$time(12:34)", "?"},
      {"$time(2004-07-01 12:34x)", "?"},
      {"$time(2004-07-01)", "?"},
  });
  expect_truths({{"$month(2004)", false}, {"$time(12:34)", false}, {"$year(%n%)", true}});
}

}  // namespace
