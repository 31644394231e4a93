#include "core/advanced_settings_registrations.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/service_registry.h"
#include "foundation/string_buffer.h"

namespace {

using namespace advanced_settings;

constexpr GUID mp3_root = {0xE8FE273F, 0xDD00, 0x476E, {0xA7, 0x90, 0xE5, 0x9D, 0xF6, 0xB8, 0xF8, 0xD4}};
constexpr GUID mp3_branch = {0x471BA209, 0x0DFD, 0x4A36, {0x89, 0x4A, 0x99, 0x66, 0x16, 0x82, 0x60, 0x59}};
constexpr const char* wheel_name =
    "Mouse wheel: scroll the object below the pointer rather than the object having keyboard focus";

// The program's entries as the registry hands them out, by name.
std::map<std::string, service_ptr<advanced_setting>> registered_entries(const service_registry_table& table) {
  std::map<std::string, service_ptr<advanced_setting>> entries;
  for (auto& entry : service_list_t<advanced_setting>(table)) {
    qiv::string_buffer name;
    entry->get_name(name);
    entries.emplace(name.get_ptr(), entry);
  }
  return entries;
}

class AdvancedSettingsRegistrations : public testing::Test {
protected:
  void SetUp() override { table.build(service_factory::global_list_head); }
  service_registry_table table;
};

TEST_F(AdvancedSettingsRegistrations, TheCoreEntriesAreFoundInTheRegistryUnderTheirParents) {
  const auto entries = registered_entries(table);
  struct expected_entry {
    const char* name;
    GUID parent;
    double priority;
  };
  const expected_entry expected[] = {
      {wheel_name, user_interface_root_guid, 0.0},
      {"Show error message popups", playback_root_guid, 0.0},
      {"Fading", playback_root_guid, 0.0},
      {"Fade out (ms)", advanced_setting_integer::fading_branch_guid, 1.0},
      {"Fade on seek (ms)", advanced_setting_integer::fading_branch_guid, 0.0},
      {"Fade on pause (ms)", advanced_setting_integer::fading_branch_guid, 2.0},
      {"MP3", mp3_root, 0.0},
      {"Tag writing scheme for untagged files", mp3_branch, 0.0},
      {"ID3v2 + ID3v1", advanced_setting_radio::group_branch_guid, 0.0},
      {"ID3v2", advanced_setting_radio::group_branch_guid, 1.0},
      {"APE + ID3v1", advanced_setting_radio::group_branch_guid, 2.0},
      {"APE", advanced_setting_radio::group_branch_guid, 3.0},
      {"Volume step (dB)", playback_root_guid, 3.0},
      {"Multiline fields", user_interface_root_guid, 1.0},
      {"Multivalue fields", user_interface_root_guid, 2.0},
      {"Title display format", user_interface_root_guid, 3.0},
  };
  EXPECT_EQ(entries.size(), std::size(expected));
  for (const expected_entry& want : expected) {
    const auto found = entries.find(want.name);
    ASSERT_NE(found, entries.end()) << want.name;
    EXPECT_EQ(found->second->get_parent(), want.parent) << want.name;
    EXPECT_EQ(found->second->get_priority(), want.priority) << want.name;
  }
  // The branches are the parents their children name.
  auto branch_guid = [&](const char* name) {
    auto branch = service_query<advanced_setting_branch_interface>(entries.at(name).get());
    EXPECT_TRUE(branch) << name;
    return static_cast<advanced_setting_branch*>(branch.get())->get_guid();
  };
  EXPECT_EQ(branch_guid("Fading"), advanced_setting_integer::fading_branch_guid);
  EXPECT_EQ(branch_guid("MP3"), mp3_branch);
  EXPECT_EQ(branch_guid("Tag writing scheme for untagged files"), advanced_setting_radio::group_branch_guid);
  // The registry hands out the very objects their owners read.
  EXPECT_EQ(entries.at("Fade out (ms)").get(), static_cast<advanced_setting*>(&fade_out_ms));
  EXPECT_EQ(entries.at(wheel_name).get(), static_cast<advanced_setting*>(&wheel_scrolls_window_under_pointer));
}

TEST_F(AdvancedSettingsRegistrations, OwnersSeeTheDefaultsAndOneTagWritingScheme) {
  EXPECT_TRUE(wheel_scrolls_window_under_pointer.get_state());
  EXPECT_TRUE(show_error_popups.get_state());
  for (advanced_setting_integer* fade : {&fade_out_ms, &fade_on_seek_ms, &fade_on_pause_ms}) {
    EXPECT_EQ(fade->get_value(), 100u);
    fade->set_state("20000", 5);
    EXPECT_EQ(fade->get_value(), 10000u);  // the top of the range
    fade->reset();
  }
  const std::pair<advanced_setting_string*, const char*> texts[] = {
      {&volume_step_db, "1.0"},
      {&multiline_fields, "COMMENT;LYRICS;BIOGRAPHY"},
      {&multivalue_fields, "ARTIST;ALBUM ARTIST;PRODUCER;COMPOSER;PERFORMER;GENRE"},
      {&title_display_format, "%TITLE%"},
  };
  for (const auto& [entry, default_text] : texts) {
    qiv::string_buffer value, fallback;
    entry->get_state(value);
    entry->get_default(fallback);
    EXPECT_STREQ(value.get_ptr(), default_text);
    EXPECT_STREQ(fallback.get_ptr(), default_text);
  }
  int selected = 0;
  for (auto& entry : service_list_t<advanced_setting>(table)) {
    auto choice = service_query<advanced_setting_checkbox_interface>(entry.get());
    if (choice && entry->get_parent() == advanced_setting_radio::group_branch_guid && choice->get_state()) ++selected;
  }
  EXPECT_EQ(selected, 1);
  EXPECT_TRUE(tag_scheme_id3v2_id3v1.get_state());
}

} // namespace
