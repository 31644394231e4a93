#include "foundation/array.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <vector>

#include "foundation/refcounted.h"

namespace {

struct item : qiv::refcounted_object {
  explicit item(int value) : value(value) {}
  int value;
};

template <class T>
std::vector<T> contents(const qiv::array<T>& a) {
  return std::vector<T>(a.begin(), a.end());
}

// A source list that hands out the numbers it was built with.
struct number_list {
  std::uint32_t get_count() const { return static_cast<std::uint32_t>(numbers.size()); }
  void get_item(int& out, std::uint32_t index) const {
    if (static_cast<int>(index) == fail_at) throw std::bad_alloc();
    out = numbers[index];
  }
  std::vector<int> numbers;
  int fail_at = -1;
};

TEST(ArrayGrowth, HysteresisDoublesAndShrinksOnlyBelowAQuarter) {
  qiv::array<int> a;
  a.resize_hysteresis(5);
  EXPECT_EQ(a.get_allocated(), 8u);
  a.resize_hysteresis(2);
  EXPECT_EQ(a.get_allocated(), 8u);
  a.resize_hysteresis(1);
  EXPECT_EQ(a.get_allocated(), 4u);
  a.resize_hysteresis(0);
  EXPECT_EQ(a.get_allocated(), 2u);
  EXPECT_EQ(a.get_count(), 0u);
}

TEST(ArrayGrowth, DoublingNeverShrinksAndExactResizeFreesAtZero) {
  qiv::array<int> a;
  a.resize_doubling(5);
  EXPECT_EQ(a.get_allocated(), 8u);
  a.resize_doubling(1);
  EXPECT_EQ(a.get_allocated(), 8u);
  EXPECT_EQ(a.get_count(), 1u);

  a.set_size(3);
  EXPECT_EQ(a.get_allocated(), 3u);
  a[0] = 7;
  a.resize_doubling(1000);  // new elements read as zero, old ones survive the move
  EXPECT_EQ(a[0], 7);
  EXPECT_EQ(a[999], 0);
  a.set_size(0);
  EXPECT_EQ(a.get_allocated(), 0u);
  EXPECT_EQ(a.data(), nullptr);
}

TEST(ArrayGrowth, DoublingPastTwoToThe31ThrowsAndLeavesTheArray) {
  qiv::array<std::uint8_t> a;
  a.set_size(2);
  a[1] = 42;
  volatile std::uint32_t past_two_to_the_31 = 0x80000001u;  // kept from the optimiser's bounds checks
  EXPECT_THROW(a.resize_hysteresis(past_two_to_the_31), std::bad_alloc);
  EXPECT_THROW(a.resize_doubling(0xFFFFFFFFu), std::bad_alloc);
  qiv::array<std::uint64_t> wide;
  EXPECT_THROW(wide.set_size(0x20000000u), std::bad_alloc);  // 2^32 bytes
  EXPECT_EQ(a.get_count(), 2u);
  EXPECT_EQ(a.get_allocated(), 2u);
  EXPECT_EQ(a[1], 42);
}

TEST(ArrayOfReferences, ShrinkingReleasesAndGrowingAddsEmptyReferences) {
  qiv::ref_ptr<item> one(new item(1));
  qiv::array<qiv::ref_ptr<item>> a;
  a.set_size(2);
  a[0] = one;
  a[1] = one;
  EXPECT_EQ(one->ref_count(), 3);
  a.resize_hysteresis(1);
  EXPECT_EQ(one->ref_count(), 2);
  a.resize_doubling(50);  // moves the references to a larger block
  EXPECT_EQ(one->ref_count(), 2);
  EXPECT_EQ(a[0], one);
  EXPECT_FALSE(a[49]);
  a.clear();
  EXPECT_EQ(one->ref_count(), 1);
  EXPECT_EQ(a.get_allocated(), 0u);
}

TEST(ArrayOfReferences, AppendingAnArrayTakesAReferenceOnEachAndAnswersTheOldCount) {
  qiv::ref_ptr<item> one(new item(1));
  qiv::array<qiv::ref_ptr<item>> a;
  a.append(one);
  qiv::array<qiv::ref_ptr<item>> b;
  b.append(one);
  b.append(one);
  EXPECT_EQ(a.append(b), 1u);
  EXPECT_EQ(a.get_count(), 3u);
  EXPECT_EQ(one->ref_count(), 6);
  EXPECT_EQ(a.append(a), 3u);  // appending an array to itself doubles it
  EXPECT_EQ(a.get_count(), 6u);
  EXPECT_EQ(one->ref_count(), 9);

  qiv::array<qiv::ref_ptr<item>> copy(a);
  EXPECT_EQ(copy.get_count(), 6u);
  EXPECT_EQ(one->ref_count(), 15);
}

TEST(ArrayMask, KeepsTheSelectedElementsInOrder) {
  qiv::ref_ptr<item> items[4] = {new item(0), new item(1), new item(2), new item(3)};
  qiv::array<qiv::ref_ptr<item>> a;
  for (auto& i : items) a.append(i);
  qiv::bit_array mask(4);
  mask.set(0, true);
  mask.set(2, true);
  a.keep_by_mask(mask);
  ASSERT_EQ(a.get_count(), 2u);
  EXPECT_EQ(a[0]->value, 0);
  EXPECT_EQ(a[1]->value, 2);
  EXPECT_EQ(items[1]->ref_count(), 1);  // dropped elements are released
  EXPECT_EQ(items[3]->ref_count(), 1);
}

TEST(ArrayMask, AShortMaskDropsTheElementsBeyondIt) {
  qiv::array<int> a;
  for (int i = 0; i < 5; ++i) a.append(i);
  qiv::bit_array mask(2);
  mask.set(1, true);
  a.keep_by_mask(mask);
  EXPECT_EQ(contents(a), (std::vector<int>{1}));
}

TEST(ArrayInsert, PositionBeyondTheCountAppendsAndAnswersTheCount) {
  qiv::array<int> a;
  for (int v : {1, 2, 3}) a.append(v);
  number_list source{{8, 9}};
  EXPECT_EQ(a.insert_from(7, source), 3u);
  EXPECT_EQ(contents(a), (std::vector<int>{1, 2, 3, 8, 9}));
}

TEST(ArrayInsert, ElementsAfterThePositionMoveUpInOrder) {
  qiv::array<int> a;
  for (int v : {1, 2, 3}) a.append(v);
  number_list source{{8, 9}};
  EXPECT_EQ(a.insert_from(1, source), 1u);
  EXPECT_EQ(contents(a), (std::vector<int>{1, 8, 9, 2, 3}));

  qiv::array<int> other;
  other.append(7);
  a.insert_from(0, other);
  a.insert_from(2, a);
  EXPECT_EQ(contents(a), (std::vector<int>{7, 1, 7, 1, 8, 9, 2, 3, 8, 9, 2, 3}));
}

TEST(ArrayInsert, AFailingSourceLeavesTheArrayAsItWas) {
  qiv::array<int> a;
  for (int v : {1, 2, 3}) a.append(v);
  number_list source{{8, 9, 10}, 2};
  EXPECT_THROW(a.insert_from(1, source), std::bad_alloc);
  EXPECT_EQ(contents(a), (std::vector<int>{1, 2, 3}));
}

TEST(ArrayRemove, RangeMovesTheTailDownAndRefusesBadBounds) {
  qiv::array<int> a;
  for (int v : {1, 2, 3, 4, 5}) a.append(v);
  a.remove_range(1, 3);
  EXPECT_EQ(contents(a), (std::vector<int>{1, 4, 5}));
  EXPECT_EQ(a.get_allocated(), 8u);
  EXPECT_THROW(a.remove_range(2, 4), qiv::exception_invalid_params);
  EXPECT_THROW(a.remove_range(2, 1), qiv::exception_invalid_params);
  EXPECT_EQ(contents(a), (std::vector<int>{1, 4, 5}));
}

TEST(ArraySort, ItemComparatorOrdersAndStableSortKeepsEqualItemsInOrder) {
  struct entry {
    int key;
    int original;
  };
  qiv::array<entry> a;
  for (int i = 0; i < 40; ++i) a.append({(i * 7) % 5, i});
  auto by_key = [](const entry& x, const entry& y) { return x.key - y.key; };
  a.sort_stable(by_key);
  for (std::uint32_t i = 1; i < a.get_count(); ++i) {
    ASSERT_LE(a[i - 1].key, a[i].key);
    if (a[i - 1].key == a[i].key) {
      EXPECT_LT(a[i - 1].original, a[i].original);
    }
  }

}

TEST(ArraySort, PermutationCountsFromTheStartOfTheRange) {
  qiv::array<char> a;
  for (char c : {'a', 'X', 'Y', 'Z', 'b'}) a.append(c);
  const std::uint32_t permutation[] = {2, 0, 1};
  a.reorder_by_permutation(1, permutation, 3);
  EXPECT_EQ(contents(a), (std::vector<char>{'a', 'Z', 'X', 'Y', 'b'}));
  EXPECT_THROW(a.reorder_by_permutation(3, permutation, 3), qiv::exception_invalid_params);
}

TEST(ByteArray, AppendsAndAssignsBytesIncludingItsOwn) {
  qiv::byte_array bytes;
  bytes.assign("abc", 3);
  bytes.grow_by("de", 2);
  for (int i = 0; i < 6; ++i) bytes.grow_by(bytes.data(), bytes.get_count());  // forces moves
  EXPECT_EQ(bytes.get_count(), 5u * 64);
  EXPECT_EQ(std::memcmp(bytes.data() + 5 * 63, "abcde", 5), 0);
  bytes.assign(bytes.data() + 1, 3);
  EXPECT_EQ(std::memcmp(bytes.data(), "bcd", 3), 0);
  EXPECT_EQ(bytes.get_count(), 3u);
  EXPECT_THROW(bytes.grow_by("x", 0xFFFFFFFFu), std::bad_alloc);
  EXPECT_EQ(bytes.get_count(), 3u);
}

} // namespace
