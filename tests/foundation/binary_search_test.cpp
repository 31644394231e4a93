#include "foundation/binary_search.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class search_in : public qiv::bsearch_callback {
public:
  search_in(const std::vector<int>& items, int probe) : items_(items), probe_(probe) {}
  int compare(std::uint32_t i) override {
    EXPECT_LT(i, items_.size());
    return items_[i] < probe_ ? -1 : (items_[i] > probe_ ? 1 : 0);
  }

private:
  const std::vector<int>& items_;
  int probe_;
};

struct search_result {
  bool found;
  std::uint32_t position;
};

search_result find(const std::vector<int>& items, int probe) {
  search_in callback(items, probe);
  std::uint32_t position = 12345;
  const bool found = qiv::bsearch(static_cast<std::uint32_t>(items.size()), callback, position);
  return {found, position};
}

TEST(BinarySearch, EmptyRangeGivesInsertionAtZero) {
  const search_result r = find({}, 7);
  EXPECT_FALSE(r.found);
  EXPECT_EQ(r.position, 0u);
}

TEST(BinarySearch, MissingProbeGivesItsInsertionPosition) {
  const std::vector<int> items{10, 20, 30};
  EXPECT_EQ(find(items, 25).position, 2u);
  EXPECT_FALSE(find(items, 25).found);
  EXPECT_EQ(find(items, 5).position, 0u);
  EXPECT_EQ(find(items, 15).position, 1u);
  EXPECT_EQ(find(items, 35).position, 3u);
}

TEST(BinarySearch, FindsEveryPresentItem) {
  std::vector<int> items;
  for (int i = 0; i < 1000; ++i) items.push_back(i * 3);
  for (int i = 0; i < 1000; ++i) {
    const search_result r = find(items, i * 3);
    ASSERT_TRUE(r.found);
    ASSERT_EQ(r.position, static_cast<std::uint32_t>(i));
    ASSERT_FALSE(find(items, i * 3 + 1).found);
    ASSERT_EQ(find(items, i * 3 + 1).position, static_cast<std::uint32_t>(i + 1));
  }
}

TEST(BinarySearch, AmongEqualItemsFindsOneOfThem) {
  const std::vector<int> items{1, 4, 4, 4, 4, 9};
  const search_result r = find(items, 4);
  ASSERT_TRUE(r.found);
  EXPECT_EQ(items[r.position], 4);
}

} // namespace
