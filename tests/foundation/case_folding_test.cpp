#include "foundation/case_folding.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/string_buffer.h"

namespace {

int sign(int value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

std::string lower(const char* text, std::size_t max_bytes = ~std::size_t(0)) {
  qiv::string_buffer out("<");
  qiv::string_add_lower(out, text, max_bytes);
  return out.get_ptr();
}

std::string upper(const char* text) {
  qiv::string_buffer out("<");
  qiv::string_add_upper(out, text);
  return out.get_ptr();
}

TEST(CaseFoldingChars, AsciiByRuleBasicPlaneBySystemBeyondUnchanged) {
  EXPECT_EQ(qiv::char_lower('A'), std::uint32_t('a'));
  EXPECT_EQ(qiv::char_upper('z'), std::uint32_t('Z'));
  EXPECT_EQ(qiv::char_lower('['), std::uint32_t('['));
  EXPECT_EQ(qiv::char_lower(0xC4), 0xE4u);    // A with diaeresis
  EXPECT_EQ(qiv::char_upper(0x3B1), 0x391u);  // Greek alpha
  EXPECT_EQ(qiv::char_lower(0x10400), 0x10400u);  // a capital beyond the basic plane stays
  EXPECT_EQ(qiv::compare_char_nocase(0xC4, 0xE4), 0);
  EXPECT_EQ(qiv::compare_char_nocase('a', 'B'), -1);
  EXPECT_EQ(qiv::compare_char_nocase('_', 'A'), -1);
}

TEST(CaseFoldingTexts, AppendFoldedTextUpToTheLimitOrAnInvalidSequence) {
  EXPECT_EQ(lower("K\xC3\x96LN Stra\xC3\x9F" "e"), "<k\xC3\xB6ln stra\xC3\x9F" "e");
  EXPECT_EQ(upper("k\xC3\xB6ln"), "<K\xC3\x96LN");
  EXPECT_EQ(upper("stra\xC3\x9F" "e"), "<STRA\xC3\x9F" "E");  // no multi-character fold
  EXPECT_EQ(lower("ABCD", 2), "<ab");
  EXPECT_EQ(lower("A\xC3\x96", 2), "<a");  // the second letter is cut by the limit
  EXPECT_EQ(lower("AB\xFF" "CD"), "<ab");
  EXPECT_EQ(upper("ab\xFF" "cd"), "<AB");
}

TEST(CompareNocase, OrdersByLowerCaseCodePoints) {
  EXPECT_EQ(qiv::compare_nocase("abc", "ABD"), -1);
  EXPECT_EQ(qiv::compare_nocase("a", "ab"), -1);
  EXPECT_EQ(qiv::compare_nocase("ab", "a"), 1);
  EXPECT_EQ(qiv::compare_nocase("Hello", "hELLO"), 0);
  EXPECT_EQ(qiv::compare_nocase("", ""), 0);
  // Upper-case letters fold down, so both cases sort after the underscore.
  EXPECT_EQ(qiv::compare_nocase("A", "_"), 1);
  EXPECT_EQ(qiv::compare_nocase("a", "_"), 1);
  EXPECT_EQ(qiv::compare_nocase("\xC3\x84pfel", "\xC3\xA4PFEL"), 0);
  EXPECT_EQ(qiv::compare_nocase("\xD0\x9C\xD0\x98\xD0\xA0", "\xD0\xBC\xD0\xB8\xD1\x80"), 0);  // Cyrillic
  EXPECT_EQ(qiv::compare_nocase("z", "\xC3\xA9"), -1);  // by code point, not by alphabet
  EXPECT_NE(qiv::compare_nocase("stra\xC3\x9F" "e", "STRASSE"), 0);
}

TEST(CompareNocase, InvalidBytesGiveAConsistentOrder) {
  // A comparator for sorted containers must find a text equal to itself and
  // answer the same question the same way from both sides.
  const char* texts[] = {"", "a", "\xFF", "\xFE", "\xFF" "a", "\xC3", "\xC3\xA9", "b\x80"};
  for (const char* a : texts) {
    EXPECT_EQ(qiv::compare_nocase(a, a), 0) << testing::PrintToString(a);
    EXPECT_EQ(qiv::compare_nocase_ex(a, 9, a, 9), 0) << testing::PrintToString(a);
    for (const char* b : texts) {
      EXPECT_EQ(qiv::compare_nocase(a, b), -qiv::compare_nocase(b, a))
          << testing::PrintToString(a) << " " << testing::PrintToString(b);
      EXPECT_EQ(qiv::compare_nocase_ex(a, 9, b, 9), -qiv::compare_nocase_ex(b, 9, a, 9))
          << testing::PrintToString(a) << " " << testing::PrintToString(b);
    }
  }
  EXPECT_EQ(qiv::compare_nocase("", "\xFF"), -1);  // the end first, then broken text, then characters
  EXPECT_EQ(qiv::compare_nocase("\xFF", "a"), -1);
  EXPECT_EQ(qiv::compare_nocase("\xFE", "\xFF"), -1);
}

TEST(CompareNocase, WithLengthsStopsAtTheLengthOrTheNul) {
  EXPECT_EQ(qiv::compare_nocase_ex("abcdef", 3, "ABCxyz", 3), 0);
  EXPECT_EQ(qiv::compare_nocase_ex("ab", 2, "abc", 3), -1);
  EXPECT_EQ(qiv::compare_nocase_ex("abc", 3, "ab", 2), 1);
  EXPECT_EQ(qiv::compare_nocase_ex("ab\0zz", 5, "AB", 2), 0);
  EXPECT_EQ(qiv::compare_nocase_ex("\xC3\x84", 1, "\xC3\xA4", 2), -1);  // a character cut by the length is broken
}

TEST(CompareNocase, BoundedFormAnswersEqualOnceTheSecondTextEnds) {
  EXPECT_EQ(qiv::compare_nocase_n("abcdef", "ABC", 10), 0);
  EXPECT_EQ(qiv::compare_nocase_n("ab", "ABC", 10), -1);
  EXPECT_EQ(qiv::compare_nocase_n("abX", "ABY", 2), 0);
  EXPECT_EQ(qiv::compare_nocase_n("abX", "ABY", 3), -1);
  EXPECT_EQ(qiv::compare_nocase_n("\xC3\x84rger", "\xC3\xA4R", 5), 0);
  EXPECT_EQ(qiv::compare_nocase_n("a", "a\xC3\xA4", 5), -1);  // an ended first text is code point 0
  EXPECT_EQ(qiv::compare_nocase_n("abc", "ab\xFF", 5), 0);
}

TEST(EqualsNocase, MatchesTheWholeSearchTextWithinTheLimit) {
  EXPECT_TRUE(qiv::equals_nocase_n("Hello world", "HELLO", 5));
  EXPECT_FALSE(qiv::equals_nocase_n("Hello world", "HELLO", 4));
  EXPECT_FALSE(qiv::equals_nocase_n("Hel", "HELLO", 5));
  EXPECT_TRUE(qiv::equals_nocase_n("\xC3\x84" "b", "\xC3\xA4" "B", 3));
  EXPECT_FALSE(qiv::equals_nocase_n("\xFF", "\xFF", 1));  // broken text never matches
}

TEST(ReplaceNocase, ReplacesEveryMatchWithoutOverlap) {
  qiv::string_buffer out;
  EXPECT_EQ(qiv::replace_nocase(out, "A-a-A", "a", "xy"), 3u);
  EXPECT_STREQ(out.get_ptr(), "xy-xy-xy");

  out.set_string("<");
  EXPECT_EQ(qiv::replace_nocase(out, "aaa", "AA", "b"), 1u);
  EXPECT_STREQ(out.get_ptr(), "<ba");

  out.set_string("<");
  EXPECT_EQ(qiv::replace_nocase(out, "Gr\xC3\x9C\xC3\x9F" "e", "\xC3\xBC\xC3\x9F", "ue"), 1u);
  EXPECT_STREQ(out.get_ptr(), "<Gruee");

  out.set_string("<");
  EXPECT_EQ(qiv::replace_nocase(out, "abc", "", "x"), 0u);
  EXPECT_STREQ(out.get_ptr(), "<");
}

TEST(ReplaceNocase, NeverMatchesInsideACharacter) {
  qiv::string_buffer out;
  // The second byte of e-acute alone, and the tail of the cent sign's form.
  EXPECT_EQ(qiv::replace_nocase(out, "caf\xC3\xA9", "\xA9", "!"), 0u);
  EXPECT_STREQ(out.get_ptr(), "caf\xC3\xA9");
  out.set_string("");
  EXPECT_EQ(qiv::replace_nocase(out, "x\xC2\xA2y", "\xA2y", "!"), 0u);
  EXPECT_STREQ(out.get_ptr(), "x\xC2\xA2y");
}

TEST(SystemCollation, ComparesOnlyDifferingCharactersThroughTheSystem) {
  EXPECT_EQ(qiv::stricmp_utf8_system("same", "same"), 0);
  EXPECT_EQ(qiv::stricmp_utf8_system("", ""), 0);
  EXPECT_EQ(qiv::stricmp_utf8_system("\xC3\x84pfel", "\xC3\xA4PFEL"), 0);
  EXPECT_LT(qiv::stricmp_utf8_system("a", "B"), 0);
  EXPECT_GT(qiv::stricmp_utf8_system("abc", "ab"), 0);
  EXPECT_LT(qiv::stricmp_utf8_system("ab", "abc"), 0);
  EXPECT_EQ(qiv::stricmp_utf8_system("ab\xFFx", "AB\xFEy"), 0);  // both end at their broken byte
  // Unlike the code-point order, the collation puts e-acute before f.
  EXPECT_LT(qiv::stricmp_utf8_system("\xC3\xA9", "f"), 0);
  EXPECT_EQ(sign(qiv::compare_nocase("\xC3\xA9", "f")), 1);
}

} // namespace
