#include "foundation/string_small.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/exceptions.h"
#include "foundation/string_buffer.h"

namespace {

using qiv::string_small;

TEST(StringSmall, GrowsWithSixteenSpareAndShrinksOnlyBeyondThirtyTwoOfSlack) {
  string_small s(std::string(100, 'a').c_str());
  EXPECT_EQ(s.get_allocated_size(), 117u);
  s.truncate(90);  // 117 is not above 91 + 32
  EXPECT_EQ(s.get_allocated_size(), 117u);
  s.truncate(10);
  EXPECT_EQ(s.get_allocated_size(), 11u);
  EXPECT_EQ(std::string(s.get_ptr()), std::string(10, 'a'));
  s.add_c_str("b");  // 12 needed, 11 held: 12 + 16
  EXPECT_EQ(s.get_allocated_size(), 28u);
}

TEST(StringSmall, EmptyTextIsTheSharedOneEvenWhileStorageIsHeld) {
  string_small s("abc");
  s.truncate(0);
  EXPECT_EQ(s.get_ptr(), qiv::empty_text);
  EXPECT_EQ(s.get_length(), 0u);
}

TEST(StringSmall, OwnTextAsSourceSurvivesReallocation) {
  string_small s("abc");
  s.add_string(s.get_ptr());
  EXPECT_STREQ(s.get_ptr(), "abcabc");

  string_small long_text(std::string(60, 'q').c_str());
  long_text.set_string(long_text.get_ptr() + 50);  // shrinks the storage the source lies in
  EXPECT_EQ(std::string(long_text.get_ptr()), std::string(10, 'q'));

  string_small piece(std::string(40, 'x').append("tail").c_str());
  piece.set_string_n(piece.get_ptr() + 40, 4);
  EXPECT_STREQ(piece.get_ptr(), "tail");
}

TEST(StringSmall, SetStringNTakesExactlyTheCount) {
  string_small s;
  s.set_string_n("abcdef", 3);
  EXPECT_STREQ(s.get_ptr(), "abc");
  s.assign_c_str("xyz");
  EXPECT_STREQ(s.get_ptr(), "xyz");
  s.set_string("12345", 2);
  EXPECT_STREQ(s.get_ptr(), "12");
}

TEST(StringSmall, LockBufferZeroesTheWholeAllocation) {
  string_small s(std::string(30, 'x').c_str());  // 47 bytes held
  char* buffer = s.lock_buffer(20);              // 21 needed: kept, 26 of slack
  ASSERT_EQ(s.get_allocated_size(), 47u);
  for (int i = 0; i < 47; ++i) EXPECT_EQ(buffer[i], '\0');
  std::memcpy(buffer, "value", 5);
  s.unlock_buffer();
  EXPECT_STREQ(s.get_ptr(), "value");
  EXPECT_EQ(s.get_allocated_size(), 6u);  // 47 is above 6 + 32
  EXPECT_THROW(s.lock_buffer(qiv::until_nul), qiv::exception_overflow);
  EXPECT_STREQ(s.get_ptr(), "value");
}

TEST(StringSmall, CopiesAreIndependentAndCopyToSetsTheTarget) {
  string_small original("name");
  string_small copy = original;
  copy.add_c_str("s");
  EXPECT_STREQ(original.get_ptr(), "name");
  EXPECT_STREQ(copy.get_ptr(), "names");

  qiv::string_buffer target("old text");
  copy.copy_to(target);
  EXPECT_STREQ(target.get_ptr(), "names");
  string_small().copy_to(target);
  EXPECT_TRUE(target.is_empty());
}

} // namespace
