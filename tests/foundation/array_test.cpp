// Arrays and their growth policies, the bit arrays that select elements, binary search.
#include "foundation/array.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "foundation/binary_search.h"
#include "foundation/refcounted.h"
#include "foundation/string_array.h"

namespace {

struct counted_item : qiv::refcounted_object {
  explicit counted_item(int value) : value(value) {}
  int value;
};

template <class T>
std::vector<T> contents(const qiv::array<T>& a) {
  return std::vector<T>(a.begin(), a.end());
}

qiv::array<int> array_of(std::initializer_list<int> values) {
  qiv::array<int> a;
  for (int v : values) a.append(v);
  return a;
}

// A source list that hands out its numbers and can fail at one of them.
struct number_list {
  std::uint32_t get_count() const { return static_cast<std::uint32_t>(numbers.size()); }
  void get_item(int& out, std::uint32_t index) const {
    if (static_cast<int>(index) == fail_at) throw std::bad_alloc();
    out = numbers[index];
  }
  std::vector<int> numbers;
  int fail_at = -1;
};

TEST(ArrayGrowth, EachPolicyAllocatesAsItPromisesAndImpossibleSizesThrowLeavingTheArray) {
  qiv::array<int> a;
  struct { std::uint32_t count, allocated; } hysteresis[] = {{5, 8}, {2, 8} /* 8 / 4 is not above 2 */, {1, 4}, {0, 2}};
  for (const auto& step : hysteresis) {
    a.resize_hysteresis(step.count);
    EXPECT_EQ(a.get_allocated(), step.allocated) << step.count;
  }
  a.set_size(0);
  a.resize_doubling(5);
  a.resize_doubling(1);  // never shrinks
  EXPECT_EQ(a.get_allocated(), 8u);
  a.set_size(3);
  EXPECT_EQ(a.get_allocated(), 3u);
  a[0] = 7;
  a.resize_doubling(1000);  // new elements read as zero, old ones survive the move
  EXPECT_EQ(a[0], 7);
  EXPECT_EQ(a[999], 0);
  a.set_size(0);
  EXPECT_EQ(a.data(), nullptr);
  qiv::array<std::uint8_t> small;
  small.set_size(2);
  small[1] = 42;
  volatile std::uint32_t past_two_to_the_31 = 0x80000001u;  // kept from the optimiser's bounds checks
  EXPECT_THROW(small.resize_hysteresis(past_two_to_the_31), std::bad_alloc);
  EXPECT_THROW(small.resize_doubling(0xFFFFFFFFu), std::bad_alloc);
  qiv::array<std::uint64_t> wide;
  EXPECT_THROW(wide.set_size(0x20000000u), std::bad_alloc);  // 2^32 bytes
  EXPECT_EQ(small.get_count(), 2u);
  EXPECT_EQ(small.get_allocated(), 2u);
  EXPECT_EQ(small[1], 42);
  qiv::byte_array bytes;
  bytes.assign("abc", 3);
  EXPECT_THROW(bytes.grow_by("x", 0xFFFFFFFFu), std::bad_alloc);
  EXPECT_EQ(bytes.get_count(), 3u);
}

TEST(ArrayElements, CountedAndStringElementsSurviveEveryMoveAndAreReleasedOnce) {
  qiv::ref_ptr<counted_item> one(new counted_item(1));
  qiv::array<qiv::ref_ptr<counted_item>> a;
  a.append(one);
  a.append(one);
  a.resize_hysteresis(1);  // shrinking releases
  EXPECT_EQ(one->ref_count(), 2);
  a.resize_doubling(50);  // moves the references to a larger block
  EXPECT_EQ(one->ref_count(), 2);
  EXPECT_FALSE(a[49]);
  a.set_size(1);
  EXPECT_EQ(a.append(a), 1u);  // appending an array to itself doubles it
  EXPECT_EQ(one->ref_count(), 3);
  qiv::array<qiv::ref_ptr<counted_item>> copy(a);
  EXPECT_EQ(one->ref_count(), 5);
  a.clear();
  copy.clear();
  EXPECT_EQ(one->ref_count(), 1);

  qiv::string_array strings;
  for (std::uint32_t n = 1; n <= 64; ++n) strings.append(qiv::string_small(std::to_string(n).c_str()));
  for (std::uint32_t i = 0; i < 64; ++i) EXPECT_EQ(std::string(strings[i].get_ptr()), std::to_string(i + 1));

  qiv::byte_array bytes;
  bytes.assign("abcde", 5);
  for (int i = 0; i < 6; ++i) bytes.grow_by(bytes.data(), bytes.get_count());  // its own bytes, moved each time
  EXPECT_EQ(bytes.get_count(), 5u * 64);
  EXPECT_EQ(std::memcmp(bytes.data() + 5 * 63, "abcde", 5), 0);
  bytes.assign(bytes.data() + 1, 3);
  EXPECT_EQ(std::memcmp(bytes.data(), "bcd", 3), 0);
}

TEST(ArrayEditing, InsertRemoveAndMaskKeepTheOrder) {
  qiv::array<int> a = array_of({1, 2, 3});
  number_list failing{{8, 9, 10}, 2};
  EXPECT_THROW(a.insert_from(1, failing), std::bad_alloc);
  EXPECT_EQ(contents(a), (std::vector<int>{1, 2, 3}));  // a failing source leaves the array as it was
  number_list source{{8, 9}};
  EXPECT_EQ(a.insert_from(7, source), 3u);  // beyond the count: appended, answers the count
  EXPECT_EQ(a.insert_from(1, source), 1u);
  EXPECT_EQ(contents(a), (std::vector<int>{1, 8, 9, 2, 3, 8, 9}));
  a.insert_from(2, a);
  EXPECT_EQ(contents(a), (std::vector<int>{1, 8, 1, 8, 9, 2, 3, 8, 9, 9, 2, 3, 8, 9}));

  a = array_of({1, 2, 3, 4, 5});
  a.remove_range(1, 3);
  EXPECT_EQ(contents(a), (std::vector<int>{1, 4, 5}));
  EXPECT_THROW(a.remove_range(2, 4), qiv::exception_invalid_params);
  EXPECT_THROW(a.remove_range(2, 1), qiv::exception_invalid_params);
  EXPECT_EQ(contents(a), (std::vector<int>{1, 4, 5}));

  qiv::ref_ptr<counted_item> items[4] = {new counted_item(0), new counted_item(1), new counted_item(2),
                                         new counted_item(3)};
  qiv::array<qiv::ref_ptr<counted_item>> refs;
  for (auto& i : items) refs.append(i);
  qiv::bit_array mask(3);  // shorter than the array: the elements beyond it go
  mask.set(0, true);
  mask.set(2, true);
  refs.keep_by_mask(mask);
  ASSERT_EQ(refs.get_count(), 2u);
  EXPECT_EQ(refs[1]->value, 2);
  EXPECT_EQ(items[1]->ref_count(), 1);  // dropped elements are released
  EXPECT_EQ(items[3]->ref_count(), 1);

}

TEST(BitArray, BitsBeyondTheCountAreClearUnwritableAndFoundByClearScans) {
  qiv::bit_array bits(9);
  EXPECT_EQ(bits.byte_count(), 2u);
  bits.set(8, true);
  bits.set(9, true);
  EXPECT_FALSE(bits.get(9));
  EXPECT_EQ(bits.data()[1], 0x01);  // bit 8 is the lowest bit of byte 1
  qiv::bit_array scan(20);
  scan.set(4, true);
  scan.set(12, true);
  struct { bool value; std::uint32_t start; std::int32_t count; std::uint32_t found; const char* why; } cases[] = {
      {true, 13, 7, 20, "none: the stop"},
      {true, 0, 4, 4, "position 4 lies outside the scan"},
      {true, 12, -3, 12, "backwards, the start itself scanned"},
      {true, 11, -5, 6, "backwards, none: the stop"},
      {true, 30, -20, 12, "from beyond the bit count"},
      {false, 20, 5, 20, "clear bits past the end"},
      {true, 13, 0x7FFFFFFF, 13u + 0x7FFFFFFFu, "a stop far past the end"},
  };
  for (const auto& c : cases) EXPECT_EQ(scan.find(c.value, c.start, c.count), c.found) << c.why;
}

TEST(BinarySearch, FindsEveryItemOrItsInsertionPosition) {
  struct multiples_of_three : qiv::bsearch_callback {
    int compare(std::uint32_t i) override { return int(i * 3) < probe ? -1 : (int(i * 3) > probe ? 1 : 0); }
    int probe = 0;
  } order;
  std::uint32_t position = 12345;
  EXPECT_FALSE(qiv::bsearch(0, order, position));
  EXPECT_EQ(position, 0u);
  for (order.probe = -1; order.probe < 3000; ++order.probe) {
    ASSERT_EQ(qiv::bsearch(1000, order, position), order.probe >= 0 && order.probe % 3 == 0) << order.probe;
    ASSERT_EQ(position, static_cast<std::uint32_t>((order.probe + 2) / 3)) << order.probe;
  }
}

} // namespace
