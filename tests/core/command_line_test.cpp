#include "core/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> tokens_of(const char* text) {
  std::vector<std::string> result;
  for (const auto& token : command_line::tokenize(text)) result.emplace_back(token.get_ptr());
  return result;
}

TEST(CommandLineTokens, QuotesGroupSpacesAndAreDropped) {
  using list = std::vector<std::string>;
  EXPECT_EQ(tokens_of("\"C:\\Program Files\\Zorv\\zorv.exe\" \"C:\\My Music\\a b.flac\" /play"),
            (list{"C:\\Program Files\\Zorv\\zorv.exe", "C:\\My Music\\a b.flac", "/play"}));
  // A quoted run in the middle of a token joins it: a, then "b c", then d.
  EXPECT_EQ(tokens_of("zorv a\"b c\"d"), (list{"zorv", "ab cd"}));
  // An unterminated quote takes the rest of the line.
  EXPECT_EQ(tokens_of("zorv \"x y"), (list{"zorv", "x y"}));
}

TEST(CommandLineTokens, EmptyTokensAreKeptButRunsOfSpacesAreNot) {
  using list = std::vector<std::string>;
  EXPECT_TRUE(tokens_of("").empty());
  EXPECT_EQ(tokens_of("zorv \"\" x"), (list{"zorv", "", "x"}));
  EXPECT_EQ(tokens_of(" zorv"), (list{"", "zorv"}));
  EXPECT_EQ(tokens_of("zorv   x   "), (list{"zorv", "x"}));
  // Only the space separates: a tab is part of the token.
  EXPECT_EQ(tokens_of("zorv a\tb"), (list{"zorv", "a\tb"}));
}

TEST(CommandLineOptions, FindsExactCaseSensitiveSwitchesAfterTheProgram) {
  const auto tokens = command_line::tokenize("/quiet /lang 0x409 /QUIET /hide2 /hide");
  EXPECT_EQ(command_line::find_option(tokens, "quiet"), -1);  // token 0 is the program, never an option
  EXPECT_EQ(command_line::find_option(tokens, "lang"), 1);
  EXPECT_EQ(command_line::find_option(tokens, "QUIET"), 3);
  EXPECT_EQ(command_line::find_option(tokens, "hide"), 5);
  EXPECT_EQ(command_line::find_option(tokens, "play"), -1);
  EXPECT_EQ(command_line::find_option(command_line::tokenize("zorv -quiet"), "quiet"), -1);
}

}  // namespace
