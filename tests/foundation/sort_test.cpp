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
  bool operator==(const item&) const = default;
};

std::vector<item> make_items(std::size_t count, int distinct_keys, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<item> items;
  for (std::size_t i = 0; i < count; ++i)
    items.push_back({static_cast<int>(random() % static_cast<unsigned>(distinct_keys)), static_cast<int>(i)});
  return items;
}

class budget_exceeded : public std::runtime_error {
public:
  budget_exceeded() : std::runtime_error("more compares than n log n allows") {}
};

// Sorts a vector by key, checking every call the sort makes and stopping a
// sort that runs past its compare budget.
class items_by_key : public qiv::sort_callback {
public:
  items_by_key(std::vector<item>& items, std::uint32_t first, std::uint32_t count)
      : items_(items), first_(first), end_(first + count) {}

  int compare(std::uint32_t i, std::uint32_t j) override {
    check_in_range(i);
    check_in_range(j);
    if (++compares > compare_budget) throw budget_exceeded();
    return items_[i].key < items_[j].key ? -1 : (items_[i].key > items_[j].key ? 1 : 0);
  }

  void swap(std::uint32_t i, std::uint32_t j) override {
    check_in_range(i);
    check_in_range(j);
    EXPECT_NE(i, j) << "an item swapped with itself";
    ++swaps;
    std::swap(items_[i], items_[j]);
  }

  std::uint64_t compares = 0;
  std::uint64_t swaps = 0;
  std::uint64_t compare_budget = ~std::uint64_t(0);

private:
  void check_in_range(std::uint32_t i) const {
    if (i < first_ || i >= end_) ADD_FAILURE() << "index " << i << " outside [" << first_ << ", " << end_ << ")";
  }

  std::vector<item>& items_;
  std::uint32_t first_;
  std::uint32_t end_;
};

// A generous n log n: quadratic behaviour exceeds it by orders of magnitude.
std::uint64_t n_log_n_budget(std::size_t n) {
  return static_cast<std::uint64_t>(4.0 * static_cast<double>(n) * std::log2(static_cast<double>(n))) + 100;
}

bool sorted_by_key(const std::vector<item>& items) {
  return std::is_sorted(items.begin(), items.end(), [](const item& a, const item& b) { return a.key < b.key; });
}

bool stable_by_key(const std::vector<item>& items) {
  return std::is_sorted(items.begin(), items.end(),
                        [](const item& a, const item& b) { return a.key < b.key || (a.key == b.key && a.origin < b.origin); });
}

bool same_items(std::vector<item> a, std::vector<item> b) {
  auto by_origin = [](const item& x, const item& y) { return x.origin < y.origin; };
  std::sort(a.begin(), a.end(), by_origin);
  std::sort(b.begin(), b.end(), by_origin);
  return a == b;
}

std::vector<item> sorted_input(std::size_t n) {
  std::vector<item> items;
  for (std::size_t i = 0; i < n; ++i) items.push_back({static_cast<int>(i), static_cast<int>(i)});
  return items;
}

std::vector<item> reversed_input(std::size_t n) {
  std::vector<item> items = sorted_input(n);
  for (std::size_t i = 0; i < n; ++i) items[i].key = static_cast<int>(n - i);
  return items;
}

std::vector<item> equal_input(std::size_t n) { return make_items(n, 1, 1); }

TEST(Sort, OrdersEveryRangeSizeAndKeepsTheItems) {
  for (std::size_t n = 0; n <= 64; ++n) {
    for (int distinct : {1, 3, 1000}) {
      std::vector<item> items = make_items(n, distinct, static_cast<unsigned>(n * 31 + distinct));
      const std::vector<item> before = items;
      items_by_key callback(items, 0, static_cast<std::uint32_t>(n));
      qiv::sort(callback, 0, static_cast<std::uint32_t>(n));
      ASSERT_TRUE(sorted_by_key(items)) << "n=" << n << " distinct=" << distinct;
      ASSERT_TRUE(same_items(items, before)) << "n=" << n;
    }
  }
  std::vector<item> items = make_items(5000, 50, 7);
  items_by_key callback(items, 0, 5000);
  qiv::sort_randomized(callback, 5000);
  EXPECT_TRUE(sorted_by_key(items));
}

TEST(Sort, TouchesOnlyTheGivenRange) {
  std::vector<item> items = make_items(40, 10, 3);
  const std::vector<item> before = items;
  items_by_key callback(items, 10, 20);
  qiv::sort(callback, 10, 20);
  EXPECT_TRUE(std::equal(items.begin(), items.begin() + 10, before.begin()));
  EXPECT_TRUE(std::equal(items.begin() + 30, items.end(), before.begin() + 30));
  EXPECT_TRUE(sorted_by_key(std::vector<item>(items.begin() + 10, items.begin() + 30)));
}

TEST(Sort, SmallRangesCompareEachPairOnce) {
  std::vector<item> items = reversed_input(4);
  items_by_key callback(items, 0, 4);
  qiv::sort(callback, 0, 4);
  EXPECT_EQ(callback.compares, 6u);
  EXPECT_TRUE(sorted_by_key(items));
}

TEST(Sort, StaysNLogNOnEqualSortedAndReversedInput) {
  const std::size_t n = 20000;
  for (std::vector<item> items : {equal_input(n), sorted_input(n), reversed_input(n)}) {
    items_by_key callback(items, 0, n);
    callback.compare_budget = n_log_n_budget(n);
    ASSERT_NO_THROW(qiv::sort_randomized(callback, n));
    EXPECT_TRUE(sorted_by_key(items));
  }
}

TEST(StableSort, EqualItemsKeepTheirOrder) {
  std::vector<item> ten_equal = equal_input(10);
  items_by_key ten(ten_equal, 0, 10);
  qiv::sort_stable(ten, 10);
  EXPECT_EQ(ten_equal, equal_input(10));

  for (std::size_t n : {0u, 1u, 5u, 100u, 3000u}) {
    std::vector<item> items = make_items(n, 7, static_cast<unsigned>(n));
    items_by_key callback(items, 0, static_cast<std::uint32_t>(n));
    qiv::sort_stable(callback, static_cast<std::uint32_t>(n));
    ASSERT_TRUE(stable_by_key(items)) << "n=" << n;
  }
}

TEST(StableSort, StaysNLogNOnEqualSortedAndReversedInput) {
  const std::size_t n = 20000;
  for (std::vector<item> items : {equal_input(n), sorted_input(n), reversed_input(n)}) {
    items_by_key callback(items, 0, n);
    callback.compare_budget = n_log_n_budget(n);
    ASSERT_NO_THROW(qiv::sort_stable(callback, n));
    EXPECT_TRUE(stable_by_key(items));
  }
}

class letters : public qiv::reorder_callback {
public:
  explicit letters(std::vector<int>& items) : items_(items) {}
  void swap(std::uint32_t i, std::uint32_t j) override {
    ASSERT_LT(i, items_.size());
    ASSERT_LT(j, items_.size());
    ++swaps;
    std::swap(items_[i], items_[j]);
  }
  std::size_t swaps = 0;

private:
  std::vector<int>& items_;
};

TEST(ReorderByPermutation, EachPositionReceivesTheItemThePermutationNames) {
  std::vector<int> xyz{'X', 'Y', 'Z'};
  letters callback(xyz);
  const std::uint32_t perm[] = {2, 0, 1};
  qiv::reorder_by_permutation(callback, perm, 3);
  EXPECT_EQ(xyz, (std::vector<int>{'Z', 'X', 'Y'}));
}

TEST(ReorderByPermutation, HandlesLargeRandomPermutationsInLinearSwaps) {
  for (std::uint32_t n : {0u, 1u, 2u, 8192u, 8193u, 50000u}) {
    std::vector<std::uint32_t> perm(n);
    std::iota(perm.begin(), perm.end(), 0u);
    std::shuffle(perm.begin(), perm.end(), std::mt19937(n));
    std::vector<int> items(n);
    std::iota(items.begin(), items.end(), 1000);
    letters callback(items);
    qiv::reorder_by_permutation(callback, perm.data(), n);
    for (std::uint32_t k = 0; k < n; ++k) ASSERT_EQ(items[k], static_cast<int>(1000 + perm[k])) << "n=" << n;
    EXPECT_LE(callback.swaps, n);
  }
}

TEST(ReorderByPermutation, AllocatesNothingUpTo8192Items) {
  const std::uint32_t n = 8192;
  std::vector<std::uint32_t> perm(n);
  for (std::uint32_t k = 0; k < n; ++k) perm[k] = (k + 1) % n;
  std::vector<int> items(n);
  letters callback(items);
  const std::size_t before = allocations;
  qiv::reorder_by_permutation(callback, perm.data(), n);
  EXPECT_EQ(allocations, before);
}

// An array that is no permutation must fail, not loop forever or mark
// outside its bit array.
TEST(ReorderByPermutation, RefusesAnArrayThatIsNoPermutation) {
  std::vector<int> items{1, 2, 3};
  letters callback(items);
  const std::uint32_t repeated[] = {1, 1, 0};
  EXPECT_THROW(qiv::reorder_by_permutation(callback, repeated, 3), qiv::exception_invalid_params);
  const std::uint32_t fixed_point_reached_twice[] = {0, 0, 2};
  EXPECT_THROW(qiv::reorder_by_permutation(callback, fixed_point_reached_twice, 3), qiv::exception_invalid_params);
  const std::uint32_t out_of_range[] = {3, 0, 1};
  EXPECT_THROW(qiv::reorder_by_permutation(callback, out_of_range, 3), qiv::exception_invalid_params);
}

TEST(RandomBelow, StaysInRangeAndReachesBeyondOneDraw) {
  EXPECT_EQ(qiv::random_below(0), 0u);
  EXPECT_EQ(qiv::random_below(1), 0u);
  std::vector<int> seen(5);
  for (int i = 0; i < 500; ++i) {
    const std::uint32_t r = qiv::random_below(5);
    ASSERT_LT(r, 5u);
    ++seen[r];
  }
  for (int count : seen) EXPECT_GT(count, 0);
  // rand() alone gives 15 bits; a large n must still be covered.
  bool above_one_draw = false;
  for (int i = 0; i < 200; ++i) {
    const std::uint32_t r = qiv::random_below(0xFFFFFFF0u);
    ASSERT_LT(r, 0xFFFFFFF0u);
    above_one_draw |= r > 0xFFFFu;
  }
  EXPECT_TRUE(above_one_draw);
}

} // namespace
