#include "foundation/code_point_text.h"

#include <gtest/gtest.h>

#include "foundation/string_buffer.h"

namespace {

// "Ä" and "ä" in UTF-8.
const char upper_a_umlaut[] = "\xC3\x84";
const char lower_a_umlaut[] = "\xC3\xA4";

TEST(StringAddCharUtf8, AppendsEveryEncodableCodePoint) {
  qiv::string_buffer text("x");
  qiv::string_add_char_utf8(text, 0x41);
  qiv::string_add_char_utf8(text, 0xE4);
  qiv::string_add_char_utf8(text, 0x20AC);
  qiv::string_add_char_utf8(text, 0x1F600);
  EXPECT_STREQ(text.get_ptr(), "xA\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(StringAddCharUtf8, UnencodableCodePointAppendsNothing) {
  qiv::string_buffer text("x");
  qiv::string_add_char_utf8(text, 0x80000000u);
  EXPECT_STREQ(text.get_ptr(), "x");
}

TEST(StringToUpperUtf8, FoldsAsciiAndBmpLettersAndStopsAtBadBytes) {
  qiv::string_buffer text("> ");
  qiv::string_to_upper_utf8(text, "abc \xC3\xA4 z\xFF" "def");
  EXPECT_STREQ(text.get_ptr(), "> ABC \xC3\x84 Z");
}

TEST(StricmpUtf8, IgnoresCaseOfAsciiAndOtherLetters) {
  EXPECT_EQ(qiv::stricmp_utf8(upper_a_umlaut, lower_a_umlaut), 0);
  EXPECT_EQ(qiv::stricmp_utf8("Hello", "hELLO"), 0);
  EXPECT_EQ(qiv::stricmp_utf8("abc", "ABD"), -1);
}

TEST(StricmpUtf8, OrdersByCodePointValueNotByBytesOrNaturally) {
  // Lower-cased "A" is 0x61, above "_" (0x5F).
  EXPECT_EQ(qiv::stricmp_utf8("_", "A"), -1);
  // Every non-ASCII letter follows every ASCII one, unlike a signed-byte order.
  EXPECT_EQ(qiv::stricmp_utf8(lower_a_umlaut, "z"), 1);
  // U+20AC (three bytes) is below U+1F600 (four bytes).
  EXPECT_EQ(qiv::stricmp_utf8("\xE2\x82\xAC", "\xF0\x9F\x98\x80"), -1);
  // Digits compare one by one: "10" before "9".
  EXPECT_EQ(qiv::stricmp_utf8("track10", "track9"), -1);
}

TEST(StricmpUtf8, TextThatEndsFirstOrdersFirst) {
  EXPECT_EQ(qiv::stricmp_utf8("ab", "abc"), -1);
  EXPECT_EQ(qiv::stricmp_utf8("abc", "AB"), 1);
  EXPECT_EQ(qiv::stricmp_utf8("", ""), 0);
}

TEST(StricmpUtf8, TextsWithDifferentInvalidBytesNeverCompareEqual) {
  EXPECT_EQ(qiv::stricmp_utf8("a\xFF", "a"), 1);
  EXPECT_EQ(qiv::stricmp_utf8("a\xFF", "ab"), -1);
  EXPECT_EQ(qiv::stricmp_utf8("a\xFE", "a\xFF"), -1);
  EXPECT_EQ(qiv::stricmp_utf8("a\xFF" "B", "A\xFF" "b"), 0);
  EXPECT_EQ(qiv::stricmp_utf8("\xFF" "a", "\xFF" "b"), -1);
}

} // namespace
