// UTF-16 strings with a prefix unit, their ordinal order, and trees keyed by them.
#include "foundation/wide_string.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <vector>

#include "foundation/wide_string_tree.h"

namespace {

using qiv::wide_string;

TEST(WideString, EmptyValuesShareOneStaticTextThatReserveNeverWrites) {
  const wide_string a;
  EXPECT_EQ(a.get_ptr(), wide_string("").get_ptr());
  EXPECT_EQ(a.get_ptr(), wide_string(a).get_ptr());
  EXPECT_STREQ(a.get_ptr(), L" ");
  wide_string s;
  std::wmemcpy(qiv::wide_string_reserve(s, 2), L"xy", 2);
  EXPECT_STREQ(s.get_ptr(), L" xy");
  EXPECT_STREQ(wide_string().get_ptr(), L" ");
  wide_string ab("ab");
  wchar_t* end = qiv::wide_string_reserve(ab, 3);
  EXPECT_EQ(end, ab.get_ptr() + 3);  // the old end
  end[0] = L'c';                     // fewer units than reserved stay terminated
  EXPECT_STREQ(ab.text(), L"abc");
  EXPECT_STREQ(wide_string("Caf\xC3\xA9").get_ptr(), L" Caf\u00E9");
}

TEST(WideString, OrderIsOrdinalByUnitAndSequencesCompareShorterFirst) {
  struct { const char* a; const char* b; int expected; const char* why; } cases[] = {
      {"a", "a", 0, ""},
      {"a", "ab", -1, ""},
      {"B", "a", -1, "no case folding"},
      {"\xF0\x9F\x98\x80", "\xEF\xBD\xA1", -1, "by unit: U+1F600 (D83D) before U+FF61"},
      {"", "a", -1, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(qiv::wide_string_compare(wide_string(c.a), wide_string(c.b)), c.expected) << c.why;
    EXPECT_EQ(qiv::wide_string_compare(wide_string(c.b), wide_string(c.a)), -c.expected) << c.why;
  }
  const std::vector<wide_string> a = {wide_string("a")};
  const std::vector<wide_string> ab = {wide_string("a"), wide_string("b")};
  const std::vector<wide_string> ac = {wide_string("a"), wide_string("c")};
  EXPECT_EQ(qiv::wide_string_list_compare(ab.data(), 2, ab.data(), 2), 0);
  EXPECT_EQ(qiv::wide_string_list_compare(a.data(), 1, ab.data(), 2), -1);
  EXPECT_EQ(qiv::wide_string_list_compare(ac.data(), 2, ab.data(), 2), 1);
  EXPECT_EQ(qiv::wide_string_list_compare(nullptr, 0, nullptr, 0), 0);
}

TEST(WideStringTree, FindsByExactUnitsAndIteratesInOrdinalOrder) {
  qiv::wide_string_tree<int> tree;
  int value = 0;
  for (const char* key : {"b", "", "ab", "a", "\xEF\xBD\xA1", "\xF0\x9F\x98\x80"})
    tree.insert(wide_string(key)).node->value = ++value;
  EXPECT_EQ(tree.find(wide_string("ab")), 3);
  EXPECT_EQ(tree.find(wide_string("AB")), 0);  // case matters; absent gives the empty value
  const wchar_t* expected[] = {L"", L"a", L"ab", L"b", L"\xD83D\xDE00", L"\xFF61"};
  auto* node = tree.first();
  for (const wchar_t* key : expected) {
    ASSERT_NE(node, nullptr);
    EXPECT_STREQ(node->key.text(), key);
    node = decltype(tree)::step(node, true);
  }
  EXPECT_EQ(node, nullptr);
}

} // namespace
