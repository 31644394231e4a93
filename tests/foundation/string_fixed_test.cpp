#include "foundation/string_fixed.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(StringFixed, Fixed128HoldsExactly127Bytes) {
  qiv::string_fixed128 s;
  const std::string full(127, 'a');
  s.set_string(full.c_str());
  EXPECT_EQ(s.get_length(), 127u);
  try {
    s.add_c_str("b");
    FAIL() << "no exception";
  } catch (const qiv::exception_overflow& e) {
    EXPECT_STREQ(e.what(), "Overflow");
  }
  EXPECT_EQ(std::string(s.get_ptr()), full);
  EXPECT_NE(s.lock_buffer(126), nullptr);
  EXPECT_EQ(s.lock_buffer(127), nullptr);
}

TEST(StringFixed, Fixed65HoldsExactly64Bytes) {
  qiv::string_fixed65 s;
  for (int i = 0; i < 64; ++i) s.add_c_str("x");
  EXPECT_EQ(s.get_length(), 64u);
  EXPECT_THROW(s.add_c_str("y"), qiv::exception_overflow);
  s.truncate(100);
  EXPECT_EQ(s.get_length(), 64u);
  EXPECT_NE(s.lock_buffer(63), nullptr);
  EXPECT_EQ(s.lock_buffer(64), nullptr);
}

TEST(StringFixed, TextThatDoesNotFitLeavesThePreviousText) {
  qiv::string_fixed33 s;
  s.set_string("12:34");
  EXPECT_THROW(s.set_string(std::string(33, '9').c_str()), qiv::exception_overflow);
  EXPECT_STREQ(s.get_ptr(), "12:34");
  EXPECT_THROW(s.add_string(std::string(28, '9').c_str()), qiv::exception_overflow);
  EXPECT_STREQ(s.get_ptr(), "12:34");
  // A long source limited by its maximum fits.
  s.set_string(std::string(100, '7').c_str(), 32);
  EXPECT_EQ(s.get_length(), 32u);
}

TEST(StringFixed, PieceOfTheOwnTextCanBeSetAndAppended) {
  qiv::string_fixed64 s;
  s.set_string("hello world");
  s.set_string(s.get_ptr() + 6);
  EXPECT_STREQ(s.get_ptr(), "world");
  s.add_string(s.get_ptr());
  EXPECT_STREQ(s.get_ptr(), "worldworld");
}

TEST(StringFixed, EmptyTextIsTheOwnBuffer) {
  qiv::string_fixed64 s;
  s.set_string("abc");
  const char* buffer = s.get_ptr();
  s.truncate(0);
  EXPECT_EQ(s.get_ptr(), buffer);
  EXPECT_TRUE(s.is_empty());
}

TEST(StringFixed, UnlockMeasuresUpToTheFirstNulWithinCapacity) {
  qiv::string_fixed33 s;
  s.set_string("old");
  char* buffer = s.lock_buffer(10);
  ASSERT_NE(buffer, nullptr);
  EXPECT_TRUE(s.is_empty());
  std::memcpy(buffer, "12345", 5);
  s.unlock_buffer();
  EXPECT_STREQ(s.get_ptr(), "12345");

  buffer = s.lock_buffer(0);
  std::memset(buffer, 'z', 33);  // a caller that overran the terminator
  s.unlock_buffer();
  EXPECT_EQ(s.get_length(), 32u);
  EXPECT_EQ(std::strlen(s.get_ptr()), 32u);
}

} // namespace
