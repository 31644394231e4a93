#include "foundation/string_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> texts_of(const qiv::string_list& list) {
  std::vector<std::string> texts;
  for (auto* node = list.first(); node; node = node->next()) texts.emplace_back(node->text().get_ptr());
  return texts;
}

TEST(StringList, NewItemsGoToTheHead) {
  qiv::string_list list;
  list.add_item(qiv::string_small("a"));
  list.add_item(qiv::string_small("b"));
  list.add_item(qiv::string_small("c"));
  EXPECT_EQ(list.get_count(), 3u);
  EXPECT_EQ(texts_of(list), (std::vector<std::string>{"c", "b", "a"}));
}

TEST(StringList, AnyNodeUnlinksItself) {
  qiv::string_list list;
  for (const char* text : {"a", "b", "c", "d"}) list.add_item(qiv::string_small(text));
  auto* middle = list.first()->next();  // "c"
  list.remove(middle);
  EXPECT_EQ(texts_of(list), (std::vector<std::string>{"d", "b", "a"}));
  list.remove(list.first());
  EXPECT_EQ(texts_of(list), (std::vector<std::string>{"b", "a"}));
  list.remove(list.first()->next());  // the last node
  EXPECT_EQ(texts_of(list), (std::vector<std::string>{"b"}));
  list.add_item(qiv::string_small("e"));
  EXPECT_EQ(texts_of(list), (std::vector<std::string>{"e", "b"}));
  EXPECT_EQ(list.get_count(), 2u);
  list.clear();
  EXPECT_EQ(list.first(), nullptr);
  EXPECT_EQ(list.get_count(), 0u);
}

} // namespace
