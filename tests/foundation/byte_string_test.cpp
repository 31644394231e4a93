#include "foundation/byte_string.h"

#include <gtest/gtest.h>

namespace {

TEST(ByteString, StrnlenStopsAtTheNulOrTheMaximum) {
  EXPECT_EQ(qiv::strnlen("abc", 10), 3u);
  EXPECT_EQ(qiv::strnlen("abc", 2), 2u);
  EXPECT_EQ(qiv::strnlen("", 5), 0u);
  const char unterminated[3] = {'x', 'y', 'z'};
  EXPECT_EQ(qiv::strnlen(unterminated, 3), 3u);
}

TEST(ByteString, CompareTakesBytesAsUnsignedAndShorterFirst) {
  EXPECT_EQ(qiv::strcmp_bytes("abc", "abc"), 0);
  EXPECT_EQ(qiv::strcmp_bytes("ab", "abc"), -1);
  EXPECT_EQ(qiv::strcmp_bytes("abc", "ab"), 1);
  // UTF-8 lead bytes order after ASCII.
  EXPECT_EQ(qiv::strcmp_bytes("\xC3\xA9", "z"), 1);
  // Not case-aware: upper case orders before lower case.
  EXPECT_EQ(qiv::strcmp_bytes("Zebra", "apple"), -1);
  EXPECT_EQ(qiv::strcmp_bytes("", ""), 0);
}

} // namespace
