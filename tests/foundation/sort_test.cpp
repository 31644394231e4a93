#include "foundation/sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <numeric>
#include <random>
#include <stdexcept>
#include <vector>

#include "foundation/exceptions.h"

// Counts heap allocations, to prove that reordering small collections takes
// no memory.
namespace {
std::size_t allocations = 0;
}
void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

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

struct budget_exceeded : std::runtime_error {
  budget_exceeded() : std::runtime_error("more compares than n log n allows") {}
};

// Checks every call the sort makes and stops a sort that runs past its
// compare budget, so a quadratic sort fails fast instead of timing out.
class items_by_key : public qiv::sort_callback {
public:
  items_by_key(std::vector<item>& items, std::uint32_t first, std::uint32_t count)
      : items_(items), first_(first), end_(first + count) {}

  int compare(std::uint32_t i, std::uint32_t j) override {
    check_in_range(i);
    check_in_range(j);
    if (++compares_ > compare_budget) throw budget_exceeded();
    return items_[i].key < items_[j].key ? -1 : (items_[i].key > items_[j].key ? 1 : 0);
  }

  void swap(std::uint32_t i, std::uint32_t j) override {
    check_in_range(i);
    check_in_range(j);
    EXPECT_NE(i, j) << "an item swapped with itself";
    std::swap(items_[i], items_[j]);
  }

  std::uint64_t compare_budget = ~std::uint64_t(0);

private:
  void check_in_range(std::uint32_t i) const {
    if (i < first_ || i >= end_) ADD_FAILURE() << "index " << i << " outside [" << first_ << ", " << end_ << ")";
  }

  std::vector<item>& items_;
  std::uint32_t first_;
  std::uint32_t end_;
  std::uint64_t compares_ = 0;
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
      items_by_key callback(items, 0, n);
      qiv::sort(callback, 0, n);
      ASSERT_TRUE(sorted(items, false)) << "n=" << n << " distinct=" << distinct;
      ASSERT_TRUE(holds_every_item_once(items)) << "n=" << n;
    }
  }
  // A range inside a larger collection: the callback fails any index outside it.
  std::vector<item> items = make_items(40, 10, 3);
  items_by_key callback(items, 10, 20);
  qiv::sort(callback, 10, 20);
  for (int i : {0, 9, 30, 39}) EXPECT_EQ(items[i].origin, i);
  EXPECT_TRUE(sorted(std::vector<item>(items.begin() + 10, items.begin() + 30), false));
}

TEST(StableSort, EqualItemsKeepTheirOrder) {
  for (std::uint32_t n : {0u, 1u, 5u, 10u, 100u, 3000u}) {
    for (int distinct : {1, 7}) {
      std::vector<item> items = make_items(n, distinct, n);
      items_by_key callback(items, 0, n);
      qiv::sort_stable(callback, n);
      ASSERT_TRUE(sorted(items, true)) << "n=" << n << " distinct=" << distinct;
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
      items_by_key callback(items, 0, n);
      callback.compare_budget = budget;
      ASSERT_NO_THROW(stable ? qiv::sort_stable(callback, n) : qiv::sort_randomized(callback, n)) << "stable=" << stable;
      EXPECT_TRUE(sorted(items, stable));
    }
  }
}

class int_items : public qiv::reorder_callback {
public:
  explicit int_items(std::vector<int>& items) : items_(items) {}
  void swap(std::uint32_t i, std::uint32_t j) override {
    ASSERT_LT(std::max(i, j), items_.size());
    ++swaps;
    std::swap(items_[i], items_[j]);
  }
  std::size_t swaps = 0;

private:
  std::vector<int>& items_;
};

TEST(ReorderByPermutation, EachPositionReceivesTheItemThePermutationNames) {
  std::vector<int> xyz{'X', 'Y', 'Z'};
  int_items callback(xyz);
  const std::uint32_t perm[] = {2, 0, 1};
  qiv::reorder_by_permutation(callback, perm, 3);
  EXPECT_EQ(xyz, (std::vector<int>{'Z', 'X', 'Y'}));

  // Around the size where the marks leave the object for the heap; up to
  // there the reorder allocates nothing.
  for (std::uint32_t n : {0u, 8192u, 8193u, 50000u}) {
    std::vector<std::uint32_t> perm(n);
    std::iota(perm.begin(), perm.end(), 0u);
    std::shuffle(perm.begin(), perm.end(), std::mt19937(n));
    std::vector<int> items(n);
    std::iota(items.begin(), items.end(), 0);
    int_items callback(items);
    const std::size_t before = allocations;
    qiv::reorder_by_permutation(callback, perm.data(), n);
    if (n <= 8192) {
      EXPECT_EQ(allocations, before) << "n=" << n;
    }
    for (std::uint32_t k = 0; k < n; ++k) ASSERT_EQ(items[k], static_cast<int>(perm[k])) << "n=" << n;
    EXPECT_LE(callback.swaps, n);
  }
}

// An array that is no permutation must fail, not cycle forever or mark
// outside its bits.
TEST(ReorderByPermutation, RefusesAnArrayThatIsNoPermutation) {
  std::vector<int> items{1, 2, 3};
  int_items callback(items);
  const std::uint32_t repeated[] = {1, 1, 0};
  const std::uint32_t fixed_point_reached_twice[] = {0, 0, 2};
  const std::uint32_t out_of_range[] = {3, 0, 1};
  EXPECT_THROW(qiv::reorder_by_permutation(callback, repeated, 3), qiv::exception_invalid_params);
  EXPECT_THROW(qiv::reorder_by_permutation(callback, fixed_point_reached_twice, 3), qiv::exception_invalid_params);
  EXPECT_THROW(qiv::reorder_by_permutation(callback, out_of_range, 3), qiv::exception_invalid_params);
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
