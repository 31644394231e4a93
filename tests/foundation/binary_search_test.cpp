#include "foundation/binary_search.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct search_result {
  bool found;
  std::uint32_t position;
};

search_result find(const std::vector<int>& items, int probe) {
  struct callback : qiv::bsearch_callback {
    callback(const std::vector<int>& items, int probe) : items(items), probe(probe) {}
    int compare(std::uint32_t i) override { return items.at(i) < probe ? -1 : (items.at(i) > probe ? 1 : 0); }
    const std::vector<int>& items;
    int probe;
  } by_value(items, probe);
  search_result r{false, 12345};
  r.found = qiv::bsearch(static_cast<std::uint32_t>(items.size()), by_value, r.position);
  return r;
}

TEST(BinarySearch, MissingProbeGivesItsInsertionPosition) {
  EXPECT_FALSE(find({}, 7).found);
  EXPECT_EQ(find({}, 7).position, 0u);
  const std::vector<int> items{10, 20, 30};
  EXPECT_FALSE(find(items, 25).found);
  EXPECT_EQ(find(items, 25).position, 2u);
  EXPECT_EQ(find(items, 5).position, 0u);
  EXPECT_EQ(find(items, 35).position, 3u);
}

TEST(BinarySearch, FindsEveryPresentItemAndOneOfSeveralEqual) {
  std::vector<int> items;
  for (int i = 0; i < 1000; ++i) items.push_back(i * 3);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_TRUE(find(items, i * 3).found);
    ASSERT_EQ(find(items, i * 3).position, static_cast<std::uint32_t>(i));
    ASSERT_EQ(find(items, i * 3 + 1).position, static_cast<std::uint32_t>(i + 1));
  }
  const std::vector<int> equal{1, 4, 4, 4, 4, 9};
  const search_result r = find(equal, 4);
  ASSERT_TRUE(r.found);
  EXPECT_EQ(equal[r.position], 4);
}

} // namespace
