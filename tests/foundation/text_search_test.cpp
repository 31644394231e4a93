// Byte-wise text: signed, unsigned and ASCII-folded orders, bounded searches,
// and cutting a text to its first line.
#include "foundation/text_search.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/byte_compare.h"
#include "foundation/byte_string.h"
#include "foundation/string_buffer.h"
#include "foundation/string_fixed.h"

namespace {

constexpr std::size_t no_limit = ~std::size_t(0);
const char high_byte_text[] = {'\xC8', 'x', '\0'};  // a byte of 200 first

TEST(ByteCompare, EachOrderAsItsCallersExpect) {
  struct { int got, expected; const char* why; } cases[] = {
      {qiv::strcmp_lengths("abc", 3, "abd", 3), -1, ""},
      {qiv::strcmp_lengths(high_byte_text, 2, "a", 1), -1, "signed: 200 sorts before a"},
      {qiv::strcmp_lengths("ab", 2, "abc", 3), -1, "a prefix first"},
      {qiv::strcmp_lengths("a\0b", 3, "a\0c", 3), -1, "exact lengths: NUL is a byte like any other"},
      {qiv::strcmp_n("abcdef", 3, "abc", ~std::size_t(0)), 0, "ends at the maximum"},
      {qiv::strcmp_n("ab\0zz", 5, "ab", 2), 0, "ends at the NUL"},
      {qiv::strcmp_n("abc", 2, "abc", 3), -1, ""},
      {qiv::stricmp_ascii_n("abc", 3, "ABD", 3), -1, ""},
      {qiv::stricmp_ascii_n("abcX", 3, "ABC", 3), 0, "beyond the length counts as NUL"},
      {qiv::stricmp_ascii_n("ab", 2, "ABC", 3), -1, ""},
      {qiv::stricmp_ascii_n("abc", 10, "ABC", 10), 0, "stops at the shared NUL"},
      {qiv::stricmp_ascii_n("_", 1, "A", 1), -1, "folding puts letters after _"},
      {qiv::stricmp_ascii("abc", "ABD"), -1, ""},
      {qiv::stricmp_ascii("_", "a"), -1, ""},
      {qiv::stricmp_ascii(high_byte_text, "\x01"), -1, "high bytes before any ASCII"},
      {qiv::stricmp_ascii("A", high_byte_text), 1, ""},
      {qiv::stricmp_ascii("\xC4", "\xE4") != 0, 1, "bytes above 127 are not folded"},
      {qiv::stricmp_ascii_equal("Content-Type", "content-type"), 1, ""},
      {qiv::stricmp_ascii_equal("\xC4", "\xE4"), 0, ""},
      {qiv::strcmp_bytes("ab", "abc"), -1, "unsigned: shorter first"},
      {qiv::strcmp_bytes("\xC3\xA9", "z"), 1, "UTF-8 lead bytes after ASCII"},
      {qiv::strcmp_bytes("Zebra", "apple"), -1, "not case-aware"},
      {qiv::strcmp_bytes("", ""), 0, ""},
      {static_cast<int>(qiv::strnlen("abc", 2)), 2, "strnlen never reads past the maximum"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].got, cases[i].expected) << i << " " << cases[i].why;
}

TEST(TextSearch, FindsOnlyWithinTheBoundsItIsGiven) {
  const char with_nul[] = "a,b\0,c";
  struct { std::size_t got, expected; const char* why; } cases[] = {
      {qiv::strchr_n("abcabc", 6, 'c'), 2, ""},
      {qiv::strchr_n("abcabc", 2, 'c'), qiv::not_found, "beyond n"},
      {qiv::strchr_n("ab\0c", 4, 'c'), qiv::not_found, "after a NUL"},
      {qiv::find_char_from(with_nul, 6, 2, ','), 4, "NUL bytes do not stop it"},
      {qiv::find_char_from(with_nul, 4, 2, ','), 4, "absent below the limit: the limit"},
      {qiv::find_char_from(with_nul, 3, 5, ','), 3, "start beyond the limit"},
      {qiv::strstr_n("abcabc", no_limit, "bc", 2), 4, "from the start given"},
      {qiv::strstr_n("abcabc", 5, "bc", 2), qiv::not_found, "would end past the maximum"},
      {qiv::strstr_n("abcabc", 6, "abcabcd", 0), qiv::not_found, "needle longer than the text"},
      {qiv::strstr_n("aaab", 4, "aab", 0), 1, "a partial match restarts one further"},
      {qiv::strstr_n("abc", 3, "", 2), 2, "an empty needle gives the start"},
      {qiv::strstr_n("abc", 3, "c", 3), qiv::not_found, ""},
      {qiv::strstr_n("abc", 3, "c", 4), qiv::not_found, "start past the end"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].got, cases[i].expected) << i << " " << cases[i].why;
  EXPECT_TRUE(qiv::string_ends_with_char(qiv::string_buffer("ab\\"), '\\'));
  EXPECT_FALSE(qiv::string_ends_with_char(qiv::string_buffer("a\\b"), '\\'));
  EXPECT_FALSE(qiv::string_ends_with_char(qiv::string_buffer(), '\0'));
}

TEST(TextSearch, FirstLineCutsBeforeEitherBreakAndMarksTheCut) {
  EXPECT_TRUE(qiv::has_line_break("a\rb"));
  EXPECT_TRUE(qiv::has_line_break("a\nb"));
  EXPECT_FALSE(qiv::has_line_break("a\tb"));
  qiv::string_buffer crlf("one\r\ntwo");
  EXPECT_TRUE(qiv::string_first_line(crlf));
  EXPECT_STREQ(crlf.get_ptr(), "one (...)");
  qiv::string_fixed64 leading_break;  // a fixed string too: the marker must fit
  leading_break.set_string("\ntwo");
  EXPECT_TRUE(qiv::string_first_line(leading_break));
  EXPECT_STREQ(leading_break.get_ptr(), " (...)");
  qiv::string_fixed33 full;  // no room for the marker: refused with the text intact
  full.set_string((std::string(30, 'a') + "\nb").c_str());
  EXPECT_THROW(qiv::string_first_line(full), qiv::exception_overflow);
  EXPECT_EQ(std::string(full.get_ptr()), std::string(30, 'a') + "\nb");
  qiv::string_buffer single("one line");
  EXPECT_FALSE(qiv::string_first_line(single));
  EXPECT_STREQ(single.get_ptr(), "one line");
}

} // namespace
