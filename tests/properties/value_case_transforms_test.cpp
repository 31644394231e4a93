// Capitalise and Clean up on a table of values as users type and tag them.
#include "properties/value_case_transforms.h"

#include <gtest/gtest.h>

namespace {

struct case_pair {
  const char* input;
  const char* expected;
};

TEST(Capitalize, EachWordStartsUpperCaseAndTheRestIsLowerCase) {
  const case_pair cases[] = {
      {"", ""},
      {"mcdonald", "Mcdonald"},
      {"ROCK'N'ROLL", "Rock'n'roll"},
      {"'hello'", "'Hello'"},
      {"o'neil", "O'neil"},
      {"a/b (x)", "A/B (X)"},
      {"(live)", "(Live)"},
      {"x.y", "X.Y"},
      {"the 2ND coming", "The 2nd Coming"},
      {"part ii; act iv", "Part Ii; Act Iv"},
      {"\xC3\xA9T\xC3\x89 \xD0\xBC\xD0\x98\xD0\xA0", "\xC3\x89t\xC3\xA9 \xD0\x9C\xD0\xB8\xD1\x80"},  // été мИР
      {"\xF0\x9D\x90\x80" "bc de", "\xF0\x9D\x90\x80" "bc De"},  // a letter beyond the basic plane ends the word start
      {"\xE6\x97\xA5\xE6\x9C\xAC abc", "\xE6\x97\xA5\xE6\x9C\xAC Abc"},
  };
  for (const case_pair& c : cases) EXPECT_EQ(capitalize_text(c.input), c.expected) << c.input;
}

TEST(CleanUp, EndsTrimmedAndRunsOfBlanksTabsAndUnderscoresMadeOneBlank) {
  const case_pair cases[] = {
      {"", ""},
      {"__My_song  __", "My song"},
      {"a\tb", "a b"},
      {"a\r\nb", "a\r\nb"},
      {" _ \t_", ""},
      {"x___y", "x y"},
  };
  for (const case_pair& c : cases) EXPECT_EQ(clean_up_text(c.input), c.expected) << c.input;
}

TEST(ValueTransforms, BytesThatAreNotUtf8AreKeptAndNothingAfterThemIsLost) {
  EXPECT_EQ(capitalize_text("caf\xE9 del mar"), "Caf\xE9 Del Mar");
  EXPECT_EQ(clean_up_text("_caf\xE9__del\xFF _"), "caf\xE9 del\xFF");
  EXPECT_EQ(capitalize_text(std::string("a\0b c", 5)), std::string("A\0b C", 5));
}

}  // namespace
