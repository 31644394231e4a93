#include "foundation/string_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/exceptions.h"

namespace {

using qiv::string_buffer;

TEST(StringBuffer, EmptyTextIsTheSharedOneEvenWhileStorageIsHeld) {
  string_buffer s;
  EXPECT_EQ(s.get_ptr(), qiv::empty_text);
  s.set_string("hello");
  s.truncate(0);
  EXPECT_EQ(s.get_ptr(), qiv::empty_text);
  EXPECT_TRUE(s.is_empty());
  EXPECT_EQ(s.get_allocated_size(), 8u);
}

TEST(StringBuffer, AllocationDoublesAndNeverShrinks) {
  string_buffer s;
  s.set_string("12345");
  EXPECT_EQ(s.get_allocated_size(), 8u);
  s.add_c_str("6789");
  EXPECT_EQ(s.get_allocated_size(), 16u);
  s.truncate(0);
  s.set_string("ab");
  EXPECT_EQ(s.get_allocated_size(), 16u);
  EXPECT_STREQ(s.get_ptr(), "ab");
}

TEST(StringBuffer, MaximumStopsAtTheNulOrTheCount) {
  string_buffer s("x");
  s.add_string("ab", 3);
  EXPECT_STREQ(s.get_ptr(), "xab");
  s.add_string("cdef", 2);
  EXPECT_STREQ(s.get_ptr(), "xabcd");
  s.set_string("hello", 0);
  EXPECT_TRUE(s.is_empty());
  EXPECT_EQ(string_buffer("hello", 4).get_length(), 4u);
}

TEST(StringBuffer, OwnTextAsSourceSurvivesReallocation) {
  string_buffer s("abc");
  s.add_string(s.get_ptr());
  EXPECT_STREQ(s.get_ptr(), "abcabc");

  // Long enough that each append reallocates the storage the source lies in.
  string_buffer long_text(std::string(100, 'z').c_str());
  long_text.add_string(long_text.get_ptr());
  EXPECT_EQ(long_text.get_length(), 200u);
  EXPECT_EQ(std::string(long_text.get_ptr()), std::string(200, 'z'));

  string_buffer piece("hello world");
  piece.set_string(piece.get_ptr() + 6);
  EXPECT_STREQ(piece.get_ptr(), "world");
  piece.add_string(piece.get_ptr() + 1, 2);
  EXPECT_STREQ(piece.get_ptr(), "worldor");
}

TEST(StringBuffer, LockBufferFillsAndUnlockMeasures) {
  string_buffer s("previous");
  char* buffer = s.lock_buffer(10);
  ASSERT_NE(buffer, nullptr);
  for (int i = 0; i <= 10; ++i) EXPECT_EQ(buffer[i], '\0');
  std::memcpy(buffer, "hi", 2);
  s.unlock_buffer();
  EXPECT_STREQ(s.get_ptr(), "hi");
  EXPECT_EQ(s.get_length(), 2u);
}

TEST(StringBuffer, UnlockStaysTerminatedWhenTheCallerOverwroteTheNul) {
  string_buffer s;
  char* buffer = s.lock_buffer(3);  // allocation of exactly 4 bytes
  ASSERT_EQ(s.get_allocated_size(), 4u);
  std::memset(buffer, 'x', 4);
  s.unlock_buffer();
  EXPECT_EQ(s.get_length(), 3u);
  EXPECT_STREQ(s.get_ptr(), "xxx");
}

TEST(StringBuffer, LockOfAllBitsThrowsOverflowAndKeepsTheText) {
  string_buffer s("kept");
  EXPECT_THROW(s.lock_buffer(qiv::until_nul), qiv::exception_overflow);
  EXPECT_STREQ(s.get_ptr(), "kept");
}

TEST(StringBuffer, CopiesAndMovesAreIndependent) {
  string_buffer original("text");
  string_buffer copy(original);
  copy.add_c_str("!");
  EXPECT_STREQ(original.get_ptr(), "text");
  EXPECT_STREQ(copy.get_ptr(), "text!");

  string_buffer moved(std::move(copy));
  EXPECT_STREQ(moved.get_ptr(), "text!");
  EXPECT_TRUE(copy.is_empty());

  original = moved;
  EXPECT_STREQ(original.get_ptr(), "text!");
  original = original;
  EXPECT_STREQ(original.get_ptr(), "text!");
}

TEST(StringBuffer, AnyStringObjectServesAsOutput) {
  string_buffer s;
  qiv::string_object& out = s;
  out.add_c_str("track ");
  out.add_uint(7);
  EXPECT_STREQ(s.get_ptr(), "track 7");
  EXPECT_STREQ(string_buffer(out).get_ptr(), "track 7");
}

} // namespace
