// Comparing, searching and changing the case of UTF-8 text without regard to case.
#include "foundation/case_folding.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/code_point_text.h"
#include "foundation/string_buffer.h"

namespace {

template <class Append>
std::string appended(Append append) {
  qiv::string_buffer out("<");
  append(out);
  return out.get_ptr();
}

TEST(CaseFoldingTexts, AppendFoldedTextUpToTheLimitOrAnInvalidSequence) {
  struct { std::string got, expected; } cases[] = {
      {appended([](auto& o) { qiv::string_add_lower(o, "K\xC3\x96LN Stra\xC3\x9F" "e", qiv::until_nul); }),
       "<k\xC3\xB6ln stra\xC3\x9F" "e"},
      {appended([](auto& o) { qiv::string_add_upper(o, "stra\xC3\x9F" "e"); }), "<STRA\xC3\x9F" "E"},  // no multi-character fold
      {appended([](auto& o) { qiv::string_add_lower(o, "A\xC3\x96", 2); }), "<a"},  // a letter cut by the limit
      {appended([](auto& o) { qiv::string_add_lower(o, "AB\xFF" "CD", qiv::until_nul); }), "<ab"},
      {appended([](auto& o) { qiv::string_add_upper(o, "ab\xFF" "cd"); }), "<AB"},
      {appended([](auto& o) { qiv::string_add_upper(o, "\xCE\xB1[\xF0\x90\x90\xA8"); }),
       "<\xCE\x91[\xF0\x90\x90\xA8"},  // Greek by the system; beyond the basic plane unchanged
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected);
}

using compare_function = int (*)(const char*, const char*);

// The two code-point orders: both fold upper case down (so letters sort after
// "_"), compare unsigned code points, and order the text that ends first first.
TEST(CompareNocase, BothCodePointOrdersAgree) {
  struct { const char* a; const char* b; int expected; const char* why; } cases[] = {
      {"abc", "ABD", -1, ""},
      {"a", "ab", -1, "the shorter first"},
      {"A", "_", 1, "upper case folds to 0x61"},
      {"\xC3\x84pfel", "\xC3\xA4PFEL", 0, "A-umlaut, a-umlaut"},
      {"z", "\xC3\xA9", -1, "by code point, not alphabet or signed byte"},
      {"\xE2\x82\xAC", "\xF0\x9F\x98\x80", -1, "U+20AC below U+1F600"},
      {"track10", "track9", -1, "digits one by one"},
  };
  for (compare_function compare : {compare_function(qiv::compare_nocase), compare_function(qiv::stricmp_utf8)})
    for (const auto& c : cases) {
      EXPECT_EQ(compare(c.a, c.b), c.expected) << c.a << " " << c.b << " " << c.why;
      EXPECT_EQ(compare(c.b, c.a), -c.expected) << c.a << " " << c.b << " " << c.why;
    }
  EXPECT_NE(qiv::compare_nocase("stra\xC3\x9F" "e", "STRASSE"), 0);  // no multi-character folding
}

TEST(CompareNocase, InvalidBytesGiveAConsistentOrderAndLengthFormsStopWhereTold) {
  // A comparator for sorted containers must find a text equal to itself and
  // answer the same question the same way from both sides.
  const char* texts[] = {"", "a", "\xFF", "\xFE", "\xFF" "a", "\xC3", "\xC3\xA9", "b\x80"};
  for (compare_function compare : {compare_function(qiv::compare_nocase), compare_function(qiv::stricmp_utf8)})
    for (const char* a : texts) {
      EXPECT_EQ(compare(a, a), 0) << testing::PrintToString(a);
      EXPECT_EQ(qiv::compare_nocase_ex(a, 9, a, 9), 0) << testing::PrintToString(a);
      for (const char* b : texts) {
        EXPECT_EQ(compare(a, b), -compare(b, a)) << testing::PrintToString(a) << " " << testing::PrintToString(b);
        EXPECT_EQ(qiv::compare_nocase_ex(a, 9, b, 9), -qiv::compare_nocase_ex(b, 9, a, 9));
      }
    }
  EXPECT_EQ(qiv::compare_nocase("", "\xFF"), -1);  // the end first, then broken text, then characters
  EXPECT_EQ(qiv::compare_nocase("\xFF", "a"), -1);
  EXPECT_EQ(qiv::stricmp_utf8("a\xFF", "a"), 1);
  EXPECT_EQ(qiv::stricmp_utf8("a\xFF", "ab"), -1);
  EXPECT_EQ(qiv::stricmp_utf8("a\xFF" "B", "A\xFF" "b"), 0);
  struct { int got, expected; const char* why; } cases[] = {
      {qiv::compare_nocase_ex("abcdef", 3, "ABCxyz", 3), 0, "stops at the length"},
      {qiv::compare_nocase_ex("ab\0zz", 5, "AB", 2), 0, "stops at the NUL"},
      {qiv::compare_nocase_ex("\xC3\x84", 1, "\xC3\xA4", 2), -1, "a character cut by the length is broken"},
      {qiv::compare_nocase_n("a", "a\xC3\xA4", 5), -1, "an ended first text is code point 0"},
      {qiv::equals_nocase_n("Hello world", "HELLO", 4), 0, "the whole search text must fit the limit"},
      {qiv::equals_nocase_n("\xC3\x84" "b", "\xC3\xA4" "B", 3), 1, ""},
      {qiv::equals_nocase_n("\xFF", "\xFF", 1), 0, "broken text never matches"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.why;
}

TEST(ReplaceNocase, NeverMatchesInsideACharacter) {
  qiv::string_buffer out("<");
  EXPECT_EQ(qiv::replace_nocase(out, "caf\xC3\xA9", "\xA9", "!"), 0u);
  EXPECT_STREQ(out.get_ptr(), "<caf\xC3\xA9");
}

TEST(SystemCollation, ComparesOnlyDifferingCharactersThroughTheSystem) {
  EXPECT_EQ(qiv::stricmp_utf8_system("", ""), 0);
  EXPECT_EQ(qiv::stricmp_utf8_system("\xC3\x84pfel", "\xC3\xA4PFEL"), 0);
  EXPECT_LT(qiv::stricmp_utf8_system("a", "B"), 0);
  EXPECT_GT(qiv::stricmp_utf8_system("abc", "ab"), 0);
  EXPECT_EQ(qiv::stricmp_utf8_system("ab\xFFx", "AB\xFEy"), 0);  // both end at their broken byte
  EXPECT_LT(qiv::stricmp_utf8_system("\xC3\xA9", "f"), 0);  // unlike the code-point order
}

} // namespace
