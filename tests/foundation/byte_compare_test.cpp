#include "foundation/byte_compare.h"

#include <gtest/gtest.h>

namespace {

const char high_byte_text[] = {'\xC8', 'x', '\0'};  // a byte of 200 first

TEST(StrcmpLengths, ComparesBytesAsSignedValues) {
  EXPECT_EQ(qiv::strcmp_lengths("abc", 3, "abd", 3), -1);
  EXPECT_EQ(qiv::strcmp_lengths("abd", 3, "abc", 3), 1);
  EXPECT_EQ(qiv::strcmp_lengths("abc", 3, "abc", 3), 0);
  // 200 is negative as a signed byte, so it sorts before "a".
  EXPECT_EQ(qiv::strcmp_lengths(high_byte_text, 2, "a", 1), -1);
}

TEST(StrcmpLengths, PrefixOrdersFirstAndNulBytesAreCompared) {
  EXPECT_EQ(qiv::strcmp_lengths("ab", 2, "abc", 3), -1);
  EXPECT_EQ(qiv::strcmp_lengths("abc", 3, "ab", 2), 1);
  EXPECT_EQ(qiv::strcmp_lengths("", 0, "", 0), 0);
  // Exact lengths: an embedded NUL is a byte like any other.
  EXPECT_EQ(qiv::strcmp_lengths("a\0b", 3, "a\0c", 3), -1);
}

TEST(StrcmpN, EachTextEndsAtItsNulOrMaximum) {
  EXPECT_EQ(qiv::strcmp_n("abcdef", 3, "abc", ~std::size_t(0)), 0);
  EXPECT_EQ(qiv::strcmp_n("ab\0zz", 5, "ab", 2), 0);
  EXPECT_EQ(qiv::strcmp_n("abc", 2, "abc", 3), -1);
}

TEST(StricmpAsciiN, FoldsAsciiLettersAndPadsWithNul) {
  EXPECT_EQ(qiv::stricmp_ascii_n("ABC", 3, "abc", 3), 0);
  EXPECT_EQ(qiv::stricmp_ascii_n("abc", 3, "ABD", 3), -1);
  EXPECT_EQ(qiv::stricmp_ascii_n("abcX", 3, "ABC", 3), 0);   // beyond the length counts as NUL
  EXPECT_EQ(qiv::stricmp_ascii_n("ab", 2, "ABC", 3), -1);
  EXPECT_EQ(qiv::stricmp_ascii_n("abc", 10, "ABC", 10), 0);  // stops at the shared NUL
  // "_" (0x5F) lies between upper- and lower-case letters; folding decides.
  EXPECT_EQ(qiv::stricmp_ascii_n("_", 1, "A", 1), -1);
}

TEST(StricmpAscii, FoldsOnlyAsciiLettersAndOrdersHighBytesFirst) {
  EXPECT_EQ(qiv::stricmp_ascii("abc", "ABD"), -1);
  EXPECT_EQ(qiv::stricmp_ascii("ABD", "abc"), 1);
  EXPECT_EQ(qiv::stricmp_ascii("Hello", "hELLO"), 0);
  EXPECT_EQ(qiv::stricmp_ascii("_", "a"), -1);
  EXPECT_EQ(qiv::stricmp_ascii("ab", "abc"), -1);
  EXPECT_EQ(qiv::stricmp_ascii(high_byte_text, "\x01"), -1);
  EXPECT_EQ(qiv::stricmp_ascii("A", high_byte_text), 1);
  // Bytes above 127 are not folded: the two cases of a Latin-1 letter differ.
  EXPECT_NE(qiv::stricmp_ascii("\xC4", "\xE4"), 0);
  EXPECT_TRUE(qiv::stricmp_ascii_equal("Content-Type", "content-type"));
  EXPECT_FALSE(qiv::stricmp_ascii_equal("\xC4", "\xE4"));
}

} // namespace
