// The main menu as the program's own registrations make it today, read back
// through GetMenuItemInfoW: the popups in their fixed order, shortcut texts,
// check marks and the entries that only Shift shows.
#include <gtest/gtest.h>

#include "core/config_item_registrations.h"
#include "core/localized_text.h"
#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "support/menu_reading.h"
#include "ui/menus/main_menu_popup.h"

namespace {

using test_support::menu_texts;
using test_support::read_menu;

class MainMenuContents : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    service_registry::table().build(service_factory::global_list_head);
    qiv::set_main_thread_id(GetCurrentThreadId());
    for (auto [id, text] : {std::pair{"menu_group_file", "File"}, {"menu_group_view", "View"},
                            {"menu_group_playback", "Playback"}, {"menu_group_help", "Help"},
                            {"menu_monitor_folders", "Monitor music folders"},
                            {"menu_scan_folders", "Refresh music folders now"}, {"menu_preferences", "Preferences"},
                            {"menu_show_album_pictures", "Show album pictures"}, {"menu_group_theme", "Theme"}})
      localized_text::set(id, text);
  }
  static void TearDownTestSuite() { service_registry::free(); }
};

TEST_F(MainMenuContents, FileAndViewHoldTheProgramsCommandsWithShortcutsAndMarks) {
  config::library_monitor_folders.set(false);
  main_menu_popup popup(menu_manager::flag_shortcuts | menu_manager::flag_normal);
  const auto top = read_menu(popup.menu());
  ASSERT_EQ(top.size(), 4u);
  EXPECT_EQ(top[0].text, L"File");
  EXPECT_EQ(top[3].text, L"Help");
  EXPECT_EQ(menu_texts(top[0].submenu),
            (std::vector<std::wstring>{L"Refresh music folders now", L"-", L"Preferences\tCtrl+P"}))
      << "monitoring is an entry of the extended menu only";

  const auto view = read_menu(top[1].submenu);
  ASSERT_GE(view.size(), 2u);
  EXPECT_EQ(view[0].text, L"Theme");
  ASSERT_NE(view[0].submenu, nullptr);
  int checked_themes = 0;
  for (const auto& theme : read_menu(view[0].submenu)) checked_themes += theme.checked() ? 1 : 0;
  EXPECT_EQ(checked_themes, 1) << "the current theme carries the mark";

  // Each popup has 2048 ids of its own; the id the menu answers runs its
  // command.
  const auto pictures = view.back();
  EXPECT_EQ(pictures.text, L"Show album pictures");
  EXPECT_GE(pictures.id, 1u + 0x800);
  EXPECT_LE(pictures.id, 2u * 0x800);
  EXPECT_TRUE(popup.run_result(pictures.id));
  main_menu_popup again(menu_manager::flag_normal);
  EXPECT_NE(read_menu(read_menu(again.menu())[1].submenu).back().checked(), pictures.checked());
  EXPECT_FALSE(popup.run_result(0));
  EXPECT_FALSE(popup.run_result(4 * 0x800)) << "the last id of Help, which holds fewer commands";
  EXPECT_FALSE(popup.run_result(4 * 0x800 + 1));
}

TEST_F(MainMenuContents, ShiftShowsTheExtendedEntries) {
  config::library_monitor_folders.set(true);
  main_menu_popup popup(menu_manager::flag_extended);
  const auto file = read_menu(read_menu(popup.menu())[0].submenu);
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(file[0].text, L"Monitor music folders");
  EXPECT_TRUE(file[0].checked());
  EXPECT_EQ(menu_texts(read_menu(popup.menu())[0].submenu).back(), L"Preferences") << "no shortcut text unasked";
}

}  // namespace
