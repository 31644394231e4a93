#include "foundation/text_search.h"

#include <gtest/gtest.h>

#include "foundation/string_buffer.h"
#include "foundation/string_fixed.h"

namespace {

TEST(StrchrN, FindsWithinTheLimitAndStopsAtNul) {
  EXPECT_EQ(qiv::strchr_n("abcabc", 6, 'c'), 2u);
  EXPECT_EQ(qiv::strchr_n("abcabc", 2, 'c'), qiv::not_found);
  EXPECT_EQ(qiv::strchr_n("ab\0c", 4, 'c'), qiv::not_found);
  EXPECT_EQ(qiv::strchr_n("", 10, 'a'), qiv::not_found);
}

TEST(FindCharFrom, SearchesTheHalfOpenRangeAndAnswersLimitWhenAbsent) {
  const char text[] = "a,b\0,c";
  EXPECT_EQ(qiv::find_char_from(text, 6, 0, ','), 1u);
  EXPECT_EQ(qiv::find_char_from(text, 6, 2, ','), 4u);  // NUL bytes do not stop it
  EXPECT_EQ(qiv::find_char_from(text, 4, 2, ','), 4u);
  EXPECT_EQ(qiv::find_char_from(text, 3, 5, ','), 3u);  // start beyond the limit
}

TEST(StrstrN, FindsFromStartWithinTheBoundedText) {
  EXPECT_EQ(qiv::strstr_n("abcabc", ~std::size_t(0), "bc", 0), 1u);
  EXPECT_EQ(qiv::strstr_n("abcabc", ~std::size_t(0), "bc", 2), 4u);
  EXPECT_EQ(qiv::strstr_n("abcabc", 5, "bc", 2), qiv::not_found);  // would end past the maximum
  EXPECT_EQ(qiv::strstr_n("abcabc", 6, "abcabcd", 0), qiv::not_found);
  EXPECT_EQ(qiv::strstr_n("aaab", 4, "aab", 0), 1u);
}

TEST(StrstrN, EmptyNeedleAndStartsPastTheEnd) {
  EXPECT_EQ(qiv::strstr_n("abc", 3, "", 2), 2u);
  EXPECT_EQ(qiv::strstr_n("abc", 3, "c", 4), qiv::not_found);
  EXPECT_EQ(qiv::strstr_n("abc", 3, "c", 3), qiv::not_found);
}

TEST(StringEndsWithChar, LooksOnlyAtTheLastByteOfANonEmptyString) {
  EXPECT_TRUE(qiv::string_ends_with_char(qiv::string_buffer("ab\\"), '\\'));
  EXPECT_FALSE(qiv::string_ends_with_char(qiv::string_buffer("a\\b"), '\\'));
  EXPECT_FALSE(qiv::string_ends_with_char(qiv::string_buffer(), '\0'));
}

TEST(HasLineBreak, EitherCarriageReturnOrLineFeed) {
  EXPECT_TRUE(qiv::has_line_break("a\rb"));
  EXPECT_TRUE(qiv::has_line_break("a\nb"));
  EXPECT_FALSE(qiv::has_line_break("a\tb"));
  EXPECT_FALSE(qiv::has_line_break(""));
}

TEST(StringFirstLine, CutsBeforeTheFirstBreakAndMarksTheCut) {
  qiv::string_buffer crlf("one\r\ntwo");
  EXPECT_TRUE(qiv::string_first_line(crlf));
  EXPECT_STREQ(crlf.get_ptr(), "one (...)");

  qiv::string_fixed64 leading_break;
  leading_break.set_string("\ntwo");
  EXPECT_TRUE(qiv::string_first_line(leading_break));
  EXPECT_STREQ(leading_break.get_ptr(), " (...)");

  qiv::string_buffer single("one line");
  EXPECT_FALSE(qiv::string_first_line(single));
  EXPECT_STREQ(single.get_ptr(), "one line");
}

} // namespace
