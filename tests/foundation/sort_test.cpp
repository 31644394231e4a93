#include "foundation/sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>
#include <vector>

#include "foundation/exceptions.h"

namespace {

struct item {
  int key;
  int origin;  // position before sorting
};

std::vector<item> make_items(std::size_t count, int distinct_keys, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<item> items;
  for (std::size_t i = 0; i < count; ++i)
    items.push_back({static_cast<int>(random() % static_cast<unsigned>(distinct_keys)), static_cast<int>(i)});
  return items;
}

// Fails any index outside the sorted range and stops a sort that runs past
// its compare budget, so a quadratic sort fails fast instead of timing out.
struct items_by_key : qiv::sort_callback {
  items_by_key(std::vector<item>& items, std::uint64_t compare_budget = ~std::uint64_t(0))
      : items(items), compare_budget(compare_budget) {}
  int compare(std::uint32_t i, std::uint32_t j) override {
    check_in_range(i, j);
    if (compare_budget-- == 0) throw std::runtime_error("more compares than n log n allows");
    return items[i].key < items[j].key ? -1 : (items[i].key > items[j].key ? 1 : 0);
  }
  void swap(std::uint32_t i, std::uint32_t j) override {
    check_in_range(i, j);
    EXPECT_NE(i, j) << "an item swapped with itself";
    std::swap(items[i], items[j]);
  }
  void check_in_range(std::uint32_t i, std::uint32_t j) const {
    if (std::max(i, j) >= items.size()) ADD_FAILURE() << "index " << std::max(i, j) << " outside the range";
  }
  std::vector<item>& items;
  std::uint64_t compare_budget;
};

bool sorted(const std::vector<item>& items, bool stable) {
  return std::is_sorted(items.begin(), items.end(), [stable](const item& a, const item& b) {
    return a.key < b.key || (stable && a.key == b.key && a.origin < b.origin);
  });
}

bool holds_every_item_once(const std::vector<item>& items) {
  std::vector<int> origins;
  for (const item& x : items) origins.push_back(x.origin);
  std::sort(origins.begin(), origins.end());
  for (std::size_t i = 0; i < origins.size(); ++i)
    if (origins[i] != static_cast<int>(i)) return false;
  return true;
}

TEST(Sort, OrdersEveryRangeSizeAndKeepsTheItems) {
  for (std::uint32_t n = 0; n <= 64; ++n) {
    for (int distinct : {1, 3, 1000}) {
      std::vector<item> items = make_items(n, distinct, n * 31 + static_cast<unsigned>(distinct));
      items_by_key callback(items);
      qiv::sort(callback, 0, n);
      ASSERT_TRUE(sorted(items, false)) << "n=" << n << " distinct=" << distinct;
      ASSERT_TRUE(holds_every_item_once(items)) << "n=" << n;
    }
  }
}

// Equal keys, sorted and reversed input are where a naive quicksort turns
// quadratic; a generous 4 n log n compares must suffice.
TEST(Sort, StaysNLogNOnEqualSortedAndReversedInput) {
  const std::uint32_t n = 20000;
  std::vector<item> equal = make_items(n, 1, 1), ascending(n), descending(n);
  for (std::uint32_t i = 0; i < n; ++i) {
    ascending[i] = {static_cast<int>(i), static_cast<int>(i)};
    descending[i] = {static_cast<int>(n - i), static_cast<int>(i)};
  }
  const auto budget = static_cast<std::uint64_t>(4.0 * n * std::log2(static_cast<double>(n)));
  for (bool stable : {false, true}) {
    for (std::vector<item> items : {equal, ascending, descending}) {
      items_by_key callback(items, budget);
      ASSERT_NO_THROW(stable ? qiv::sort_stable(callback, n) : qiv::sort_randomized(callback, n)) << "stable=" << stable;
      EXPECT_TRUE(sorted(items, stable));
    }
  }
}

struct int_items : qiv::reorder_callback {
  explicit int_items(std::vector<int>& items) : items(items) {}
  void swap(std::uint32_t i, std::uint32_t j) override {
    ASSERT_LT(std::max(i, j), items.size());
    std::swap(items[i], items[j]);
  }
  std::vector<int>& items;
};

// Each position receives the item the permutation names; an array that is no
// permutation must fail, not cycle forever or mark outside its bits.
TEST(ReorderByPermutation, MovesByThePermutationAndRefusesAnArrayThatIsNone) {
  std::vector<int> items{'X', 'Y', 'Z'};
  int_items callback(items);
  const std::uint32_t permutation[] = {2, 0, 1};
  qiv::reorder_by_permutation(callback, permutation, 3);
  EXPECT_EQ(items, (std::vector<int>{'Z', 'X', 'Y'}));
  const std::uint32_t repeated[] = {1, 1, 0};
  const std::uint32_t fixed_point_reached_twice[] = {0, 0, 2};
  const std::uint32_t out_of_range[] = {3, 0, 1};
  for (const std::uint32_t* bad : {repeated, fixed_point_reached_twice, out_of_range})
    EXPECT_THROW(qiv::reorder_by_permutation(callback, bad, 3), qiv::exception_invalid_params);
}

// rand() gives only 15 bits: a large bound must still be covered.
TEST(RandomBelow, StaysInRangeAndCoversLargeBounds) {
  EXPECT_EQ(qiv::random_below(0), 0u);
  bool beyond_one_draw = false;
  for (int i = 0; i < 200; ++i) {
    EXPECT_LT(qiv::random_below(5), 5u);
    const std::uint32_t r = qiv::random_below(0xFFFFFFF0u);
    ASSERT_LT(r, 0xFFFFFFF0u);
    beyond_one_draw |= r > 0xFFFFu;
  }
  EXPECT_TRUE(beyond_one_draw);
}

} // namespace
