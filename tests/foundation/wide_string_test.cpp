#include "foundation/wide_string.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <vector>

namespace {

using qiv::wide_string;

TEST(WideString, EmptyValuesShareOneStaticTextWithItsPrefix) {
  const wide_string a;
  const wide_string b("");
  const wide_string c(a);
  EXPECT_EQ(a.get_ptr(), b.get_ptr());
  EXPECT_EQ(a.get_ptr(), c.get_ptr());
  EXPECT_STREQ(a.get_ptr(), L" ");
  EXPECT_STREQ(a.text(), L"");
  EXPECT_TRUE(a.is_empty());
}

TEST(WideString, TextFollowsThePrefixUnit) {
  const wide_string s("Caf\xC3\xA9");
  EXPECT_STREQ(s.get_ptr(), L" Caf\u00E9");
  EXPECT_STREQ(s.text(), L"Caf\u00E9");
}

TEST(WideString, ReserveAnswersTheOldEndAndKeepsTheTextTerminated) {
  wide_string s("ab");
  wchar_t* end = qiv::wide_string_reserve(s, 3);
  EXPECT_STREQ(s.get_ptr(), L" ab");
  EXPECT_EQ(end, s.get_ptr() + 3);
  end[0] = L'c';  // fewer units than reserved
  EXPECT_STREQ(s.text(), L"abc");
}

TEST(WideString, ReserveOnTheSharedEmptyTextLeavesItUntouched) {
  wide_string s;
  wchar_t* end = qiv::wide_string_reserve(s, 2);
  std::wmemcpy(end, L"xy", 2);
  EXPECT_STREQ(s.get_ptr(), L" xy");
  EXPECT_STREQ(wide_string().get_ptr(), L" ");
}

TEST(WideString, CompareIsOrdinalByUnitAfterThePrefix) {
  EXPECT_EQ(qiv::wide_string_compare(wide_string("a"), wide_string("a")), 0);
  EXPECT_EQ(qiv::wide_string_compare(wide_string("a"), wide_string("ab")), -1);
  EXPECT_EQ(qiv::wide_string_compare(wide_string("b"), wide_string("a")), 1);
  EXPECT_EQ(qiv::wide_string_compare(wide_string("B"), wide_string("a")), -1);  // no case folding
  // By UTF-16 unit, not by code point: U+1F600 (unit D83D) orders before U+FF61.
  EXPECT_EQ(qiv::wide_string_compare(wide_string("\xF0\x9F\x98\x80"), wide_string("\xEF\xBD\xA1")), -1);
  EXPECT_EQ(qiv::wide_string_compare(wide_string(), wide_string("a")), -1);
}

TEST(WideString, SequencesCompareElementByElementShorterFirst) {
  const std::vector<wide_string> ab = {wide_string("a"), wide_string("b")};
  const std::vector<wide_string> a = {wide_string("a")};
  const std::vector<wide_string> ac = {wide_string("a"), wide_string("c")};
  EXPECT_EQ(qiv::wide_string_list_compare(ab.data(), 2, ab.data(), 2), 0);
  EXPECT_EQ(qiv::wide_string_list_compare(a.data(), 1, ab.data(), 2), -1);
  EXPECT_EQ(qiv::wide_string_list_compare(ab.data(), 2, a.data(), 1), 1);
  EXPECT_EQ(qiv::wide_string_list_compare(ac.data(), 2, ab.data(), 2), 1);
  EXPECT_EQ(qiv::wide_string_list_compare(nullptr, 0, nullptr, 0), 0);
}

} // namespace
