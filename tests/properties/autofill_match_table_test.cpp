// What automatic filling takes out of a source string through a pattern.
#include "properties/autofill_match_table.h"

#include <gtest/gtest.h>

#include <map>

#include "core/localized_text.h"
#include "properties/field_display_context.h"

namespace {

using values = std::map<std::string, std::string>;

// The fields one source string gives, by column name.
values fill(const char* pattern, const char* source) {
  const field_display_context context("", "");
  autofill_match_table table(1, context);
  match_pattern(table, 0, pattern, source);
  values found;
  for (const auto& column : table.columns()) found[column.name] = column.values[0];
  return found;
}

TEST(AutofillMatchTable, ValuesEndAtTheirFirstTerminatorWhereBlanksMatchAnyRun) {
  EXPECT_EQ(fill("%tracknumber%. %title%", "07. Intro"), (values{{"tracknumber", "07"}, {"title", "Intro"}}));
  EXPECT_EQ(fill("%artist% - %title%", "X - Y - Z"), (values{{"artist", "X"}, {"title", "Y - Z"}}));
  EXPECT_EQ(fill("%artist% - %title%", "A  -   B"), (values{{"artist", "A"}, {"title", "B"}}));
  // The blank must face a blank: no terminator, the artist takes it all.
  EXPECT_EQ(fill("%artist% - %title%", "A-B"), (values{{"artist", "A-B"}}));
  EXPECT_EQ(fill("%album%\\%tracknumber% %title%", "Band\\01 Song"),
            (values{{"album", "Band"}, {"tracknumber", "01"}, {"title", "Song"}}));
}

TEST(AutofillMatchTable, LeadingLiteralsUnclosedMarkersAndSkippedParts) {
  EXPECT_EQ(fill("x%title%", "Song"), (values{{"title", "Song"}}));
  EXPECT_EQ(fill("x%title%", "xSong"), (values{{"title", "Song"}}));
  EXPECT_TRUE(fill("%title", "Song").empty());
  EXPECT_TRUE(fill("no markers", "no markers here").empty());
  EXPECT_EQ(fill("%%_%title%", "skip_Song"), (values{{"title", "Song"}}));
  // Trailing blanks go; a value of blanks only still makes its column.
  EXPECT_EQ(fill("%a%|%b%", "x  |   "), (values{{"a", "x"}, {"b", ""}}));
}

TEST(AutofillMatchTable, OneColumnPerFieldWhateverItsCaseOrDisplayName) {
  language_table texts;
  texts.set("properties_meta_tracknumber", "Track number");
  install_language_table(std::move(texts));
  const field_display_context context("", "");
  autofill_match_table table(3, context);
  match_pattern(table, 0, "%Track number% %TITLE% %title%", "1 a b");
  match_pattern(table, 2, "%tracknumber%-%Title%", "3-c");
  ASSERT_EQ(table.columns().size(), 2u);
  EXPECT_EQ(table.columns()[0].name, "tracknumber");
  EXPECT_EQ(table.columns()[0].values, (std::vector<std::string>{"1", "", "3"}));
  // Spelled as first seen; the later occurrence in one pattern wins.
  EXPECT_EQ(table.columns()[1].name, "TITLE");
  EXPECT_EQ(table.columns()[1].values, (std::vector<std::string>{"b", "", "c"}));
  install_language_table(language_table());
}

}  // namespace
