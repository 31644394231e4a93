#include "core/localized_text.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/string_buffer.h"

namespace {

class LocalizedText : public ::testing::Test {
protected:
  void TearDown() override { localized_text::clear(); }

  // The text "test_id" formatted with the values, or "(failed)".
  std::string format(const char* text, std::initializer_list<std::pair<const char*, const char*>> pairs) {
    localized_text::set("test_id", text);
    localized_values values;
    for (const auto& [name, value] : pairs) values.insert(name).node->value.set_string(value);
    qiv::string_buffer out("(failed)");
    const bool ok = localized_text_format("test_id", values, out);
    EXPECT_EQ(ok, std::string(out.get_ptr()) != "(failed)") << "a failure must leave the output alone";
    return out.get_ptr();
  }
};

}  // namespace

TEST_F(LocalizedText, MissingAndEmptyTextsReadTheSame) {
  localized_text::set("dialog_ok", "");
  localized_text::set("dialog_cancel", "Cancel");
  qiv::string_buffer out("previous");
  EXPECT_FALSE(localized_text::get("dialog_ok", out));
  EXPECT_STREQ(out.get_ptr(), "");
  EXPECT_FALSE(localized_text::get("Dialog_Cancel", out));  // ids are case-sensitive
  EXPECT_FALSE(localized_text::get(nullptr, out));
  EXPECT_TRUE(localized_text::get("dialog_cancel", out));
}

TEST_F(LocalizedText, FormatFillsEveryPlaceholder) {
  EXPECT_EQ(format("I/O error #{code}", {{"code", "5"}}), "I/O error #5");
  EXPECT_EQ(format("Properties ({count} items) - {items}", {{"count", "3"}, {"items", "a"}}), "Properties (3 items) - a");
  EXPECT_EQ(format("a}b", {}), "a}b");  // a lone closing brace is plain text
  EXPECT_EQ(format("{}", {{"", "empty name"}}), "empty name");
  EXPECT_EQ(format("{a}", {{"a", "{b}"}}), "{b}");  // values are not scanned again
}

TEST_F(LocalizedText, FormatFailsOnAnUnclosedBraceOrAMissingValue) {
  EXPECT_EQ(format("a{x", {{"x", "1"}}), "(failed)");
  EXPECT_EQ(format("{}", {}), "(failed)");
  EXPECT_EQ(format("{Code}", {{"code", "5"}}), "(failed)");
  qiv::string_buffer out("kept");
  EXPECT_FALSE(localized_text_format("no_such_id", localized_values(), out));
  EXPECT_STREQ(out.get_ptr(), "kept");
}

TEST_F(LocalizedText, InstallingATableReplacesTheWholeOldOne) {
  localized_text::set("old_only", "old");
  localized_text::set("both", "old");
  language_table table;
  table.set("both", "new");
  install_language_table(std::move(table));
  EXPECT_STREQ(localized_text::get("old_only"), "");
  EXPECT_STREQ(localized_text::get("both"), "new");
}
