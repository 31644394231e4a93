#include "foundation/wide_string_tree.h"

#include <gtest/gtest.h>

namespace {

TEST(WideStringTree, FindAnswersTheValueOrNull) {
  int rock = 1;
  int jazz = 2;
  qiv::wide_string_tree<int*> tree;
  tree.insert(qiv::wide_string("Rock")).node->value = &rock;
  tree.insert(qiv::wide_string("Jazz")).node->value = &jazz;
  EXPECT_EQ(tree.find(qiv::wide_string("Rock")), &rock);
  EXPECT_EQ(tree.find(qiv::wide_string("Jazz")), &jazz);
  EXPECT_EQ(tree.find(qiv::wide_string("rock")), nullptr);  // ordinal: case matters
  EXPECT_EQ(tree.find(qiv::wide_string()), nullptr);
}

TEST(WideStringTree, KeysOrderByUnitAfterThePrefix) {
  qiv::wide_string_tree<int> tree;
  for (const char* key : {"b", "", "ab", "a", "\xEF\xBD\xA1", "\xF0\x9F\x98\x80"}) tree.insert(qiv::wide_string(key));
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
