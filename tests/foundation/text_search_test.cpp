// Byte-wise orders, bounded searches, and cutting a text to its first line.
#include "foundation/text_search.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/byte_compare.h"
#include "foundation/byte_string.h"
#include "foundation/string_buffer.h"
#include "foundation/string_fixed.h"

namespace {

const char high_byte_text[] = {'\xC8', 'x', '\0'};  // a byte of 200 first

TEST(ByteCompare, EachOrderAsItsCallersExpect) {
  struct { int got, expected; const char* why; } cases[] = {
      {qiv::strcmp_lengths(high_byte_text, 2, "a", 1), -1, "signed: 200 sorts before a"},
      {qiv::stricmp_ascii_n("abcX", 3, "ABC", 3), 0, "beyond the length counts as NUL"},
      {qiv::stricmp_ascii_n("abc", 10, "ABC", 10), 0, "stops at the shared NUL"},
      {qiv::stricmp_ascii_n("_", 1, "A", 1), -1, "folding puts letters after _"},
      {qiv::stricmp_ascii(high_byte_text, "\x01"), -1, "high bytes before any ASCII"},
      {qiv::stricmp_ascii("\xC4", "\xE4") != 0, 1, "bytes above 127 are not folded"},
      {qiv::strcmp_bytes("ab", "abc"), -1, "unsigned: shorter first"},
      {qiv::strcmp_bytes("\xC3\xA9", "z"), 1, "UTF-8 lead bytes after ASCII"},
      {static_cast<int>(qiv::strnlen("abc", 2)), 2, "strnlen never reads past the maximum"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].got, cases[i].expected) << i << " " << cases[i].why;
}

TEST(TextSearch, FindsOnlyWithinItsBoundsAndAFirstLineWithoutRoomForTheMarkerIsRefusedIntact) {
  struct { std::size_t got, expected; const char* why; } cases[] = {
      {qiv::strstr_n("abcabc", 5, "bc", 2), qiv::not_found, "would end past the maximum"},
      {qiv::strstr_n("aaab", 4, "aab", 0), 1, "a partial match restarts one further"},
      {qiv::strstr_n("abc", 3, "c", 4), qiv::not_found, "start past the end"},
      {qiv::find_char_from("a,b\0,c", 6, 2, ','), 4, "NUL bytes do not stop it"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].got, cases[i].expected) << i << " " << cases[i].why;
  EXPECT_TRUE(qiv::string_ends_with_char(qiv::string_buffer("ab\\"), '\\'));
  EXPECT_FALSE(qiv::string_ends_with_char(qiv::string_buffer(), '\0'));
  qiv::string_buffer crlf("one\r\ntwo");
  EXPECT_TRUE(qiv::string_first_line(crlf));
  EXPECT_STREQ(crlf.get_ptr(), "one (...)");
  qiv::string_fixed33 full;
  full.set_string((std::string(30, 'a') + "\nb").c_str());
  EXPECT_THROW(qiv::string_first_line(full), qiv::exception_overflow);
  EXPECT_EQ(std::string(full.get_ptr()), std::string(30, 'a') + "\nb");
}

} // namespace
