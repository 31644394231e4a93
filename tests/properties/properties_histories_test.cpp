// The stored histories of the properties dialog's text boxes.
#include "properties/properties_histories.h"

#include <gtest/gtest.h>

#include "core/config_item_registrations.h"

namespace {

TEST(PropertiesHistories, AFreshProfileOffersTheCommonFieldNamesAndTheTitlePattern) {
  EXPECT_EQ(field_name_history().load_list(),
            (std::vector<std::string>{"ARTIST", "TITLE", "ALBUM", "GENRE", "TRACKNUMBER", "COMPOSER", "DATE", "COMMENT",
                                      "PERFORMER"}));
  EXPECT_EQ(autofill_pattern_history().load_list(), std::vector<std::string>{"%title%"});
}

TEST(PropertiesHistories, ANewEntryGoesFirstIntoTheStoredText) {
  field_name_history().add("MOOD");
  EXPECT_EQ(field_name_history().load_list().front(), "MOOD");
  autofill_pattern_history().add("%artist% - %title%");
  EXPECT_EQ(std::string(config::autofill_pattern.get()).rfind("%artist% - %title%\n", 0), 0u);
}

}  // namespace
