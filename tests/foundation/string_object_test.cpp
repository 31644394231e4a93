// The three kinds of string behind string_object: growable, coarse-growth and
// fixed. What every kind must do runs on all three; each allocation policy
// has its own boundaries.
#include "foundation/string_object.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/exceptions.h"
#include "foundation/string_buffer.h"
#include "foundation/string_fixed.h"
#include "foundation/string_small.h"

namespace {

template <class String>
class EveryString : public ::testing::Test {};
using string_kinds = ::testing::Types<qiv::string_buffer, qiv::string_small, qiv::string_fixed128>;
TYPED_TEST_SUITE(EveryString, string_kinds);

TYPED_TEST(EveryString, PiecesOfItsOwnTextAreSafeSources) {
  TypeParam s;
  s.set_string("hello world");
  s.set_string(s.get_ptr() + 6);
  EXPECT_STREQ(s.get_ptr(), "world");
  s.add_string(s.get_ptr() + 1, 2);
  EXPECT_STREQ(s.get_ptr(), "worldor");
  // Long enough that the append moves the storage the source lies in.
  s.set_string(std::string(60, 'z').c_str());
  s.add_string(s.get_ptr());
  EXPECT_EQ(std::string(s.get_ptr()), std::string(120, 'z'));
  s.set_string(s.get_ptr() + 110);  // shrinks the storage the source lies in
  EXPECT_EQ(std::string(s.get_ptr()), std::string(10, 'z'));
}

TYPED_TEST(EveryString, MaximumStopsAtTheNulTruncateNeverGrowsLockedBuffersAreZeroedAndCopiesIndependent) {
  TypeParam s;
  s.set_string("x");
  s.add_string("ab", 3);
  EXPECT_STREQ(s.get_ptr(), "xab");
  s.add_string("cdef", 2);
  EXPECT_STREQ(s.get_ptr(), "xabcd");
  s.truncate(100);
  EXPECT_EQ(s.get_length(), 5u);
  s.set_string("hello", 0);
  EXPECT_TRUE(s.is_empty());
  s.set_string("previous");
  char* buffer = s.lock_buffer(10);
  ASSERT_NE(buffer, nullptr);
  for (int i = 0; i <= 10; ++i) EXPECT_EQ(buffer[i], '\0');
  std::memcpy(buffer, "hi", 2);
  s.unlock_buffer();
  EXPECT_STREQ(s.get_ptr(), "hi");
  EXPECT_EQ(s.get_length(), 2u);
  TypeParam original;
  original.set_string("text");
  TypeParam copy(original);
  copy.add_c_str("!");
  EXPECT_STREQ(original.get_ptr(), "text");
  original = copy;
  original = original;
  EXPECT_STREQ(original.get_ptr(), "text!");
}

TEST(GrowableStrings, EmptyTextIsTheSharedOneAndHugeLocksThrowKeepingTheText) {
  qiv::string_buffer buffer("kept");
  qiv::string_small small("kept");
  for (qiv::string_object* s : {static_cast<qiv::string_object*>(&buffer), static_cast<qiv::string_object*>(&small)}) {
    EXPECT_THROW(s->lock_buffer(qiv::until_nul), qiv::exception_overflow);
    EXPECT_STREQ(s->get_ptr(), "kept");
    s->truncate(0);
    EXPECT_EQ(s->get_ptr(), qiv::empty_text);  // even while storage is held
  }
}

// What callers rely on: a buffer zeroed whole, a terminator restored after an
// overrun, and slack given back.
TEST(GrowableStrings, LockedBuffersAreZeroedWholeAndAnOverwrittenTerminatorIsRestored) {
  qiv::string_buffer exact;
  char* four_bytes = exact.lock_buffer(3);
  ASSERT_EQ(exact.get_allocated_size(), 4u);
  std::memset(four_bytes, 'x', 4);
  exact.unlock_buffer();
  EXPECT_STREQ(exact.get_ptr(), "xxx");
  qiv::string_small s;
  s.set_string(std::string(30, 'x').c_str());  // 31 needed, sixteen spare
  char* buffer = s.lock_buffer(20);  // 47 held, 21 needed: kept, and zeroed whole
  ASSERT_EQ(s.get_allocated_size(), 47u);
  for (int i = 0; i < 47; ++i) EXPECT_EQ(buffer[i], '\0') << i;
  std::memcpy(buffer, "value", 5);
  s.unlock_buffer();
  EXPECT_STREQ(s.get_ptr(), "value");
  EXPECT_EQ(s.get_allocated_size(), 6u);  // 47 is above 6 + 32: slack is given back
}

template <class Fixed>
void expect_holds_exactly(std::size_t capacity) {
  Fixed s;
  const std::string full(capacity, 'a');
  s.set_string(full.c_str());
  EXPECT_THROW(s.add_c_str("b"), qiv::exception_overflow);
  EXPECT_THROW(s.set_string((full + "b").c_str()), qiv::exception_overflow);
  EXPECT_EQ(std::string(s.get_ptr()), full);  // the previous text survives
  EXPECT_NE(s.lock_buffer(capacity - 1), nullptr);
  EXPECT_EQ(s.lock_buffer(capacity), nullptr);
  std::memset(s.lock_buffer(0), 'z', capacity + 1);  // a caller that overran the terminator
  s.unlock_buffer();
  EXPECT_EQ(std::strlen(s.get_ptr()), capacity);
}

TEST(FixedStrings, HoldExactlyOneByteLessThanTheirBuffer) {
  expect_holds_exactly<qiv::string_fixed128>(127);
  expect_holds_exactly<qiv::string_fixed33>(32);
  qiv::string_fixed33 s;
  s.set_string(std::string(100, '7').c_str(), 32);  // a long source limited by its maximum fits
  EXPECT_EQ(s.get_length(), 32u);
}

} // namespace
