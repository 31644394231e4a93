// Byte-wise text comparisons: signed, unsigned and ASCII-folded orders.
#include "foundation/byte_compare.h"

#include <gtest/gtest.h>

#include "foundation/byte_string.h"

namespace {

const char high_byte_text[] = {'\xC8', 'x', '\0'};  // a byte of 200 first

TEST(ByteCompare, EachOrderAsItsCallersExpect) {
  struct { int got, expected; const char* why; } cases[] = {
      {qiv::strcmp_lengths("abc", 3, "abd", 3), -1, ""},
      {qiv::strcmp_lengths("abc", 3, "abc", 3), 0, ""},
      {qiv::strcmp_lengths(high_byte_text, 2, "a", 1), -1, "signed: 200 sorts before a"},
      {qiv::strcmp_lengths("ab", 2, "abc", 3), -1, "a prefix first"},
      {qiv::strcmp_lengths("abc", 3, "ab", 2), 1, ""},
      {qiv::strcmp_lengths("", 0, "", 0), 0, ""},
      {qiv::strcmp_lengths("a\0b", 3, "a\0c", 3), -1, "exact lengths: NUL is a byte like any other"},
      {qiv::strcmp_n("abcdef", 3, "abc", ~std::size_t(0)), 0, "ends at the maximum"},
      {qiv::strcmp_n("ab\0zz", 5, "ab", 2), 0, "ends at the NUL"},
      {qiv::strcmp_n("abc", 2, "abc", 3), -1, ""},
      {qiv::stricmp_ascii_n("ABC", 3, "abc", 3), 0, ""},
      {qiv::stricmp_ascii_n("abc", 3, "ABD", 3), -1, ""},
      {qiv::stricmp_ascii_n("abcX", 3, "ABC", 3), 0, "beyond the length counts as NUL"},
      {qiv::stricmp_ascii_n("ab", 2, "ABC", 3), -1, ""},
      {qiv::stricmp_ascii_n("abc", 10, "ABC", 10), 0, "stops at the shared NUL"},
      {qiv::stricmp_ascii_n("_", 1, "A", 1), -1, "folding puts letters after _"},
      {qiv::stricmp_ascii("abc", "ABD"), -1, ""},
      {qiv::stricmp_ascii("ABD", "abc"), 1, ""},
      {qiv::stricmp_ascii("_", "a"), -1, ""},
      {qiv::stricmp_ascii("ab", "abc"), -1, ""},
      {qiv::stricmp_ascii(high_byte_text, "\x01"), -1, "high bytes before any ASCII"},
      {qiv::stricmp_ascii("A", high_byte_text), 1, ""},
      {qiv::stricmp_ascii("\xC4", "\xE4") != 0, 1, "bytes above 127 are not folded"},
      {qiv::stricmp_ascii_equal("Content-Type", "content-type"), 1, ""},
      {qiv::stricmp_ascii_equal("\xC4", "\xE4"), 0, ""},
      {qiv::strcmp_bytes("ab", "abc"), -1, "unsigned: shorter first"},
      {qiv::strcmp_bytes("abc", "ab"), 1, ""},
      {qiv::strcmp_bytes("\xC3\xA9", "z"), 1, "UTF-8 lead bytes after ASCII"},
      {qiv::strcmp_bytes("Zebra", "apple"), -1, "not case-aware"},
      {qiv::strcmp_bytes("", ""), 0, ""},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].got, cases[i].expected) << i << " " << cases[i].why;
}

TEST(ByteCompare, StrnlenNeverReadsPastTheMaximum) {
  const char unterminated[3] = {'x', 'y', 'z'};
  EXPECT_EQ(qiv::strnlen(unterminated, 3), 3u);
  EXPECT_EQ(qiv::strnlen("abc", 2), 2u);
  EXPECT_EQ(qiv::strnlen("abc", 10), 3u);
}

} // namespace
