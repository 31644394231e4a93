#include <gtest/gtest.h>

#include <string>

#include "title_function_test_fixture.h"

namespace {

using TitleText = TitleFunctionTest;

TEST_F(TitleText, CaseChangesCoverNonAsciiLetters) {
  EXPECT_EQ(run("$upper(ab\xC3\xA9)"), "AB\xC3\x89");
  EXPECT_EQ(run("$lower(AB\xC3\x89)"), "ab\xC3\xA9");
  EXPECT_EQ(run("$caps(hELLO wORLD)"), "Hello World");
  EXPECT_EQ(run("$caps2(hELLO wORLD)"), "HELLO WORLD");
  EXPECT_EQ(run("$caps('a/b(c)[d]e|f')"), "A/B(C)[D]E|F");
  EXPECT_TRUE(truth_of("$upper(%x%)"));
}

TEST_F(TitleText, TrimRemovesOnlyTheOuterRuns) {
  EXPECT_EQ(run("$trim(  a b  )"), "a b");
  EXPECT_EQ(run("$trim(xxaxx,x)"), "a");
  EXPECT_EQ(run("$trim(xxaxbxx,x)"), "axb");
  EXPECT_EQ(run("$trim(xxx,x)"), "");
  EXPECT_EQ(run("$trim( a ,)"), " a ");
}

TEST_F(TitleText, PaddingReachesTheWidthAndIsCapped) {
  EXPECT_EQ(run("$pad(ab,5)"), "ab   ");
  EXPECT_EQ(run("$pad(abcdef,3)"), "abcdef");
  EXPECT_EQ(run("$pad_right(ab,5,0)"), "000ab");
  EXPECT_EQ(run("$pad(\xC3\xA9,3,-)"), "\xC3\xA9--");
  EXPECT_EQ(run("$pad(,-1)").size(), 1024u);
  EXPECT_EQ(run("$pad(,99999999)").size(), 1024u);
}

TEST_F(TitleText, PadcutGivesExactlyTheWidth) {
  EXPECT_EQ(run("$padcut(abcdef,3)"), "abc");
  EXPECT_EQ(run("$padcut(ab,4,-)"), "ab--");
  EXPECT_EQ(run("$padcut_right(ab,4,-)"), "--ab");
  EXPECT_EQ(run("$padcut(ab,-1)").size(), 1024u);
}

TEST_F(TitleText, RepeatIsBoundedAndIgnoresNonPositiveCounts) {
  EXPECT_EQ(run("$repeat(ab,3)"), "ababab");
  EXPECT_EQ(run("$repeat(ab,-1)"), "");
  EXPECT_EQ(run("$repeat(abc,2000000000)").size(), 4098u);
  // An empty text must not spin through two billion copies.
  EXPECT_EQ(run("$repeat(,2000000000)x"), "x");
}

TEST_F(TitleText, AbbreviationKeepsNumeralsNumbersAndMarkers) {
  EXPECT_EQ(run("$abbr(The Dark Side of the Moon)"), "TDSotM");
  EXPECT_EQ(run("$abbr(Final Fantasy VII)"), "FFVII");
  EXPECT_EQ(run("$abbr(Best of 1999)"), "Bo1999");
  EXPECT_EQ(run("$abbr(Game ost)"), "Gost");
  EXPECT_EQ(run("$abbr(Game OSTs)"), "GO");
  EXPECT_EQ(run("$abbr('Album [Live]')"), "A[Live]");
  EXPECT_EQ(run("$abbr(Short,10)"), "Short");
  EXPECT_EQ(run("$abbr(Long Name,5)"), "LN");
}

TEST_F(TitleText, LongestAndShortestPreferTheFirstOfEquals) {
  EXPECT_EQ(run("$longest(ab,cd,e)"), "ab");
  EXPECT_EQ(run("$shortest(ab,c,d)"), "c");
  EXPECT_EQ(run("$longest(\xC3\xA9\xC3\xA9,abc)"), "abc");
  EXPECT_FALSE(truth_of("$longest()"));
}

TEST_F(TitleText, SearchesGiveCharacterPositions) {
  EXPECT_EQ(run("$strchr(abcabc,b)"), "2");
  EXPECT_EQ(run("$strlchr(abcabc,b)"), "2");
  EXPECT_EQ(run("$strrchr(abcabc,b)"), "5");
  EXPECT_EQ(run("$strchr(\xC3\xA9xb,b)"), "3");
  EXPECT_EQ(run("$strchr(abc,z)"), "0");
  EXPECT_FALSE(truth_of("$strchr(abc,)"));
  EXPECT_EQ(run("$strstr(abcabc,ca)"), "3");
  EXPECT_EQ(run("$strstr(abc,)"), "0");
  EXPECT_FALSE(truth_of("$strstr(abc,)"));
  EXPECT_EQ(run("$strstr(ab,abc)"), "0");
}

TEST_F(TitleText, LengthCountsCharacters) {
  EXPECT_EQ(run("$len(\xC3\xA9" "bc)"), "3");
  EXPECT_EQ(run("$len2(\xC3\xA9" "bc)"), "3");
  EXPECT_EQ(run("$len(%empty%)"), "0");
}

TEST_F(TitleText, ReplaceTriesPairsInOrderAndNeverRescans) {
  EXPECT_EQ(run("$replace(aaa,a,b,aa,c)"), "bbb");
  EXPECT_EQ(run("$replace(aaa,aa,c,a,b)"), "cb");
  EXPECT_EQ(run("$replace(abc,b,bb)"), "abbc");
  EXPECT_EQ(run("$replace(abc,,x,b,y)"), "ayc");
  EXPECT_EQ(run("$replace(abc,b,y,$puts(v,1))$get(v)"), "ayc");
}

TEST_F(TitleText, ComparisonsWriteOneOnlyWhenEqual) {
  EXPECT_EQ(run("$strcmp(abc,abc)"), "1");
  EXPECT_EQ(run("$strcmp(abc,ABC)"), "");
  EXPECT_EQ(run("$stricmp(abc,ABC)"), "1");
  EXPECT_EQ(run("$stricmp(\xC3\xA9,\xC3\x89)"), "1");
  EXPECT_EQ(run("$stricmp(abc,ab)"), "");
  EXPECT_FALSE(truth_of("$stricmp(a,b)"));
}

TEST_F(TitleText, CuttingByCharacterPositions) {
  EXPECT_EQ(run("$left(abc,2)"), "ab");
  EXPECT_EQ(run("$cut(abc,-1)"), "abc");
  EXPECT_EQ(run("$cut(abc,0)"), "");
  EXPECT_EQ(run("$left(\xC3\xA9" "bc,1)"), "\xC3\xA9");
  EXPECT_EQ(run("$right(abc,2)"), "bc");
  EXPECT_EQ(run("$right(abc,0)"), "");
  EXPECT_EQ(run("$right(abc,9)"), "abc");
  EXPECT_EQ(run("$substr(abcdef,2,4)"), "bcd");
  EXPECT_EQ(run("$substr(abcdef,4,2)"), "");
  EXPECT_EQ(run("$substr(abc,-5,2)"), "ab");
  EXPECT_EQ(run("$insert(abc,X,1)"), "aXbc");
  EXPECT_EQ(run("$insert(abc,X,9)"), "abcX");
}

TEST_F(TitleText, FixEolKeepsTheFirstLine) {
  EXPECT_EQ(run("$fix_eol($crlf()second)"), " (...)");
  EXPECT_EQ(run("$fix_eol(first$crlf()second)"), "first (...)");
  EXPECT_EQ(run("$fix_eol(first$crlf()second,~)"), "first~");
  EXPECT_EQ(run("$fix_eol(one,$puts(v,1))$get(v)"), "one");
}

TEST_F(TitleText, CharactersTabsAndLineBreaks) {
  EXPECT_EQ(run("$char(233)"), "\xC3\xA9");
  EXPECT_EQ(run("$char(-1)"), "");
  EXPECT_EQ(run("$char(2147483647)").size(), 6u);
  EXPECT_EQ(run("$tab(100)"), std::string(16, '\t'));
  EXPECT_EQ(run("$tab(-1)"), std::string(16, '\t'));
  EXPECT_EQ(run("$tab()"), "\t");
  EXPECT_EQ(run("$crlf()"), "\r\n");
  EXPECT_FALSE(truth_of("$crlf()"));
}

TEST_F(TitleText, Rot13AndCrc32) {
  EXPECT_EQ(run("$rot13(Hello \xC3\xA9)"), "Uryyb \xC3\xA9");
  EXPECT_EQ(run("$crc32(123456789)"), "3421780262");
}

TEST_F(TitleText, PrefixesAreMatchedAsWholeWords) {
  EXPECT_EQ(run("$swapprefix(The Beatles)"), "Beatles, The");
  EXPECT_EQ(run("$swapprefix(the beatles)"), "beatles, the");
  EXPECT_EQ(run("$stripprefix(A Tribe)"), "Tribe");
  EXPECT_EQ(run("$stripprefix(Theatre)"), "Theatre");
  EXPECT_EQ(run("$swapprefix(Die Toten,Der,DIE)"), "Toten, Die");
  EXPECT_EQ(run("$stripprefix(The Who,Die)"), "The Who");
}

TEST_F(TitleText, CodePageRoundTripsKeepAscii) {
  EXPECT_EQ(run("$ascii(abc)"), "abc");
  EXPECT_EQ(run("$ansi(abc)"), "abc");
  std::string folded = run("$ascii(\xE4\xB8\xAD)");
  EXPECT_NE(folded, "\xE4\xB8\xAD");
}

TEST_F(TitleText, WrongArgumentCountsWriteNothing) {
  for (const char* call : {"$upper()", "$trim(a,b,c)", "$pad(a)", "$repeat(a)", "$strchr(a)",
                           "$replace(a,b)", "$left(a)", "$substr(a,1)", "$char()", "$crc32()"})
    EXPECT_EQ(run(call), "") << call;
}

}  // namespace
