// The text and path routines that automatic filling matches file names with.
#include "properties/autofill_text.h"

#include <gtest/gtest.h>

namespace {

TEST(AutofillText, BlanksMatchAnyRunOfBlanksAndOtherBytesMustBeEqual) {
  EXPECT_EQ(match_blank_insensitive("a  - b", "a\t- "), std::optional<std::size_t>(5));
  EXPECT_EQ(match_blank_insensitive("a-b", "a-"), std::optional<std::size_t>(2));
  EXPECT_FALSE(match_blank_insensitive("a-b", "a -"));
  EXPECT_FALSE(match_blank_insensitive("A-", "a-"));
  EXPECT_FALSE(match_blank_insensitive("a", "ab"));
}

TEST(AutofillText, ExtensionsGoOnlyFromTheFileName) {
  EXPECT_EQ(strip_extension("C:\\my.folder\\song"), "C:\\my.folder\\song");
  EXPECT_EQ(strip_extension("01 song.flac"), "01 song");
  EXPECT_EQ(strip_extension("a.tar.gz"), "a.tar");
  EXPECT_EQ(count_path_separators("C:\\a/b|c"), 4u);
}

TEST(AutofillText, PathTailsTakeAsManyFoldersAsAskedAndStopAtTheDrive) {
  EXPECT_EQ(path_tail("C:\\Music\\Album\\01.flac", 0), "01.flac");
  EXPECT_EQ(path_tail("C:\\Music\\Album\\01.flac", 1), "Album\\01.flac");
  EXPECT_EQ(path_tail("C:\\Music\\Album\\01.flac", 5), "Music\\Album\\01.flac");
  EXPECT_EQ(path_tail("C:\\01.flac", 1), "01.flac");
}

TEST(AutofillText, LinesKeepEmptyOnesAndDropTheCarriageReturnBeforeEachFeed) {
  EXPECT_EQ(split_lines("a\r\n\nb\r"), (std::vector<std::string>{"a", "", "b\r"}));
  EXPECT_EQ(split_lines("x\n"), (std::vector<std::string>{"x", ""}));
}

}  // namespace
