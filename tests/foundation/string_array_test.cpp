#include "foundation/string_array.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(StringArray, GrowingAddsEmptyStringsAndShrinkingKeepsTheFirst) {
  qiv::string_array strings;
  strings.set_count(2);
  strings[0].set_string("first");
  strings[1].set_string("second");
  qiv::string_array_resize(strings, 5);
  ASSERT_EQ(strings.get_count(), 5u);
  EXPECT_EQ(strings.get_allocated(), 5u);
  EXPECT_STREQ(strings[0].get_ptr(), "first");
  EXPECT_STREQ(strings[1].get_ptr(), "second");
  for (std::uint32_t i = 2; i < 5; ++i) EXPECT_TRUE(strings[i].is_empty());
  strings.set_count(1);
  EXPECT_EQ(strings.get_count(), 1u);
  EXPECT_STREQ(strings[0].get_ptr(), "first");
  strings.set_count(0);
  EXPECT_EQ(strings.data(), nullptr);
}

TEST(StringArray, TextsSurviveTheStorageMoving) {
  qiv::string_array strings;
  for (std::uint32_t n = 1; n <= 64; ++n) {
    strings.set_count(n);
    strings[n - 1].set_string(std::to_string(n).c_str());
  }
  for (std::uint32_t i = 0; i < 64; ++i) EXPECT_EQ(std::string(strings[i].get_ptr()), std::to_string(i + 1));
}

} // namespace
