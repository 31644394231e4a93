#include <gtest/gtest.h>

#include <string>

#include "title_function_test_fixture.h"

namespace {

using TitleText = TitleFunctionTest;

TEST_F(TitleText, ReshapingFunctions) {
  expect_texts({
      {"$upper(ab\xC3\xA9)", "AB\xC3\x89"},
      {"$lower(AB\xC3\x89)", "ab\xC3\xA9"},
      {"$caps(hELLO wORLD)", "Hello World"},
      {"$caps2(hELLO wORLD)", "HELLO WORLD"},
      {"$caps('a/b(c)[d]e|f')", "A/B(C)[D]E|F"},  // every separator starts a word
      {"$trim(  a b  )", "a b"},
      {"$trim(xxaxbxx,x)", "axb"},                // only the outer runs go
      {"$trim(xxx,x)", ""},
      {"$trim( a ,)", " a "},                     // an empty character trims nothing
      {"$pad(ab,5)", "ab   "},
      {"$pad(abcdef,3)", "abcdef"},
      {"$pad_right(ab,5,0)", "000ab"},
      {"$pad(\xC3\xA9,3,-)", "\xC3\xA9--"},       // widths count characters
      {"$pad(ab,4,\xC3\xA9t\xC3\xA9)", "ab\xC3\xA9\xC3\xA9"},  // the first character pads
      {"$pad(,-1)", std::string(1024, ' ')},       // a negative width asks for the cap
      {"$padcut(abcdef,3)", "abc"},
      {"$padcut(ab,4,-)", "ab--"},
      {"$padcut_right(ab,4,-)", "--ab"},
      {"$repeat(ab,3)", "ababab"},
      {"$repeat(ab,-1)", ""},
      {"$repeat(,2000000000)x", "x"},             // no spin through empty copies
      {"$abbr(The Dark Side of the Moon)", "TDSotM"},
      {"$abbr(Final Fantasy VII)", "FFVII"},
      {"$abbr(Best of 1999)", "Bo1999"},
      {"$abbr(Game ost)", "Gost"},
      {"$abbr(Game OSTs)", "GO"},
      {"$abbr('Album [Live]')", "A[Live]"},
      {"$abbr(Long Name,5)", "LN"},
      {"$abbr(Short,10)", "Short"},
      {"$longest(ab,cd,e)", "ab"},
      {"$shortest(ab,c,d)", "c"},
      {"$longest(\xC3\xA9\xC3\xA9,abc)", "abc"},  // characters, not bytes
      {"$rot13(Hello \xC3\xA9)", "Uryyb \xC3\xA9"},
      {"$swapprefix(The Beatles)", "Beatles, The"},
      {"$swapprefix(the beatles)", "beatles, the"},
      {"$stripprefix(A Tribe)", "Tribe"},
      {"$stripprefix(Theatre)", "Theatre"},
      {"$swapprefix(Die Toten,Der,DIE)", "Toten, Die"},
      {"$stripprefix(The Who,Die)", "The Who"},
      {"$fix_eol(first$crlf()second)", "first (...)"},
      {"$fix_eol(first$crlf()second,~)", "first~"},
      {"$fix_eol(one,$puts(v,1))$get(v)", "one"},  // no line break: no indicator evaluated
  });
  EXPECT_EQ(run("$repeat(abc,2000000000)").size(), 4098u);
}

TEST_F(TitleText, CutsCountCharacters) {
  expect_texts({
      {"$left(abc,2)", "ab"},
      {"$cut(abc,-1)", "abc"},
      {"$cut(abc,0)", ""},
      {"$left(\xC3\xA9" "bc,1)", "\xC3\xA9"},
      {"$right(abc,2)", "bc"},
      {"$right(abc,0)", ""},
      {"$right(abc,9)", "abc"},
      {"$substr(abcdef,2,4)", "bcd"},
      {"$substr(abcdef,4,2)", ""},
      {"$substr(abc,-5,2)", "ab"},
      {"$insert(abc,X,1)", "aXbc"},
      {"$insert(abc,X,9)", "abcX"},
      {"$len(\xC3\xA9" "bc)$len2(\xC3\xA9" "bc)$len(%empty%)", "330"},
      {"$char(233)$char(-1)", "\xC3\xA9"},
      {"$tab(100)", std::string(16, '\t')},
      {"$tab(-1)", std::string(16, '\t')},
      {"$tab()$crlf()", "\t\r\n"},
      {"$crc32(123456789)", "3421780262"},
  });
  EXPECT_EQ(run("$char(2147483647)").size(), 6u);
}

// Code-page round trips append to what the script wrote before them, inside
// and outside other calls.
TEST_F(TitleText, CodePageRoundTripsAppend) {
  expect_texts({
      {"q$ansi(b)r", "qbr"},
      {"q$ascii(b)r", "qbr"},
      {"$ansi(a)$ascii(b)", "ab"},
      {"$upper(x$ascii(b))", "XB"},
      {"[%x%$ansi(%x%)]", "xx"},
  });
  EXPECT_NE(run("$ascii(\xE4\xB8\xAD)"), "\xE4\xB8\xAD");
}

TEST_F(TitleText, SearchesGiveCharacterPositions) {
  expect_texts({
      {"$strchr(abcabc,b)$strlchr(abcabc,b)$strrchr(abcabc,b)", "225"},
      {"$strchr(\xC3\xA9xb,b)", "3"},
      {"$strchr(abc,z)", "0"},
      {"$strstr(abcabc,ca)", "3"},
      {"$strstr(abc,)", "0"},
      {"$strstr(ab,abc)", "0"},
      {"$strstr(aabaabaaab,aaab)", "7"},        // the search restarts inside a partial match
      {"$strstr(\xC3\xA9\xA9,\xA9)", "2"},      // a match inside a character does not count
      {"$strstr(\xC3\xA9x\xFFx,x)", "2"},
      {"$strstr(a\xFFxb,b)", "0"},              // an unreadable byte ends the walk
  });
  expect_truths({{"$strchr(abc,)", false}, {"$strstr(abc,)", false}, {"$strstr(abc,c)", true}});
}

TEST_F(TitleText, ReplaceTriesPairsInOrderAndNeverRescans) {
  expect_texts({
      {"$replace(aaa,a,b,aa,c)", "bbb"},
      {"$replace(aaa,aa,c,a,b)", "cb"},
      {"$replace(abc,b,bb)", "abbc"},
      {"$replace(abc,,x,b,y)", "ayc"},               // an empty search is skipped
      {"$replace(ababab,bab,X,aba,Y)", "YX"},         // overlapping occurrences are passed over
      {"$replace(abcabc,bc,X,c,Y)", "aXaX"},
      {"<$replace(abc,b,y,$puts(v,1))$get(v)>", "<ayc>"},  // an unpaired last argument is not evaluated
  });
}

// A text of a megabyte searched for half a megabyte of "a...ab": a retry at
// every position would compare 2^38 bytes per call.
TEST_F(TitleText, LongSearchesFindTheRightPlace) {
  provider.fields["big"] = std::string(1 << 20, 'a');
  provider.fields["needle"] = std::string((1 << 19) - 1, 'a') + "b";
  provider.fields["big"].back() = 'b';
  const std::string at = std::to_string((1 << 19) + 1);
  EXPECT_EQ(run("$strstr(%big%,%needle%)"), at);
  EXPECT_EQ(run("$strstr(%needle%,%big%)"), "0");
  const std::string replaced = run("$replace(%big%,%needle%,X,b,Y)");
  EXPECT_EQ(replaced, std::string(1 << 19, 'a') + "X");
}

TEST_F(TitleText, ComparisonsWriteOneOnlyWhenEqual) {
  expect_texts({
      {"$strcmp(abc,abc)", "1"},
      {"$strcmp(abc,ABC)", ""},
      {"x$stricmp(abc,ABC)y", "x1y"},
      {"$stricmp(\xC3\xA9,\xC3\x89)", "1"},
      {"$stricmp(Οδυσσέας,ΟΔΥΣΣΈΑΣ)", "1"},  // a final sigma against a capital sigma
      {"$stricmp(ǅ,Ǆ)", "1"},                 // title case against upper case
      {"$stricmp(abc,ab)", ""},
      {"$stricmp(a\xFFx,A\xFFx)", "1"},
      {"$stricmp(a\xFFx,A\xFFy)", ""},        // equal only when what follows a broken byte is
      {"$if($stricmp(%x%,X),same)", "same"},
  });
}

TEST_F(TitleText, WrongArgumentCountsWriteNothing) {
  for (const char* call : {"$upper()", "$trim(a,b,c)", "$pad(a)", "$repeat(a)", "$strchr(a)", "$replace(a,b)",
                           "$left(a)", "$substr(a,1)", "$char()", "$crc32()", "$ansi()", "$ascii(a,b)",
                           "$longest()", "$stricmp(a)"})
    EXPECT_EQ(run(call), "") << call;
  expect_truths({{"$upper(%x%)", true}, {"$upper(x)", false}, {"$stricmp(a,b)", false}});
}

}  // namespace
