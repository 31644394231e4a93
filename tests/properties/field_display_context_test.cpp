// Which fields the tag editor edits as several lines or several values, read
// from the "Properties dialog" advanced settings, and how it names fields.
#include "properties/field_display_context.h"

#include <gtest/gtest.h>

#include "core/advanced_settings_registrations.h"
#include "core/localized_text.h"
#include "foundation/string_buffer.h"

namespace {

TEST(FieldDisplayContext, TheDefaultSettingsLiveInTheirOwnBranchAndGiveTheFieldSets) {
  const GUID branch = {0x5D59D46E, 0x6B72, 0x48D1, {0xAE, 0xB4, 0x55, 0x86, 0x85, 0x10, 0x27, 0x0E}};
  EXPECT_TRUE(advanced_settings::multiline_fields.get_parent() == branch);
  EXPECT_TRUE(advanced_settings::multivalue_fields.get_parent() == branch);
  EXPECT_TRUE(advanced_settings::title_display_format.get_parent() == branch);

  const field_display_context context;
  EXPECT_TRUE(context.is_multi_value("album artist"));
  EXPECT_FALSE(context.is_multi_value("title"));
  EXPECT_TRUE(context.is_multi_line("Lyrics"));
  advanced_settings::multivalue_fields.set_state(";;ARTIST;;", qiv::until_nul);
  const field_display_context changed;
  advanced_settings::multivalue_fields.reset();
  EXPECT_TRUE(changed.is_multi_value("artist"));
  EXPECT_FALSE(changed.is_multi_value("genre"));
  EXPECT_TRUE(context.is_multi_value("genre")) << "a dialog keeps the sets it opened with";
}

TEST(FieldDisplayContext, StandardFieldsShowTheirLocalisedNamesAndOthersTheirNameInCapitals) {
  localized_text::set("properties_meta_album artist", "Album Artist");
  const field_display_context context("", "");
  EXPECT_EQ(context.display_name("ALBUM ARTIST"), "Album Artist");
  EXPECT_EQ(context.display_name("mood"), "<MOOD>");
  EXPECT_EQ(context.display_name("\xC3\xA9t\xC3\xA9"), "<\xC3\x89T\xC3\x89>");
}

}  // namespace
