// The item context menu built for a set of tracks, appended to a Win32 menu
// the way the main window does it and read back entry by entry.
#include "ui/menus/context_menu_manager.h"

#include <gtest/gtest.h>

#include "core/localized_text.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "metadata/track_handle_registry.h"
#include "support/menu_reading.h"
#include "ui/menus/context_menu_group_def.h"
#include "ui/menus/context_menu_item.h"
#include "ui/menus/keyboard_shortcuts.h"

namespace {

using test_support::menu_texts;
using test_support::read_menu;

// Bound to Alt+Enter in the default shortcut table.
constexpr GUID properties_command = {0x6F441057, 0x1D18, 0x4A58, {0x9A, 0xC4, 0x8F, 0x40, 0x9C, 0xDA, 0x7D, 0xFD}};
constexpr GUID extended_command = {0x7A10C0DE, 0x0001, 0x4000, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID convert_group = {0x7A10C0DE, 0x0002, 0x4000, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID convert_command = {0x7A10C0DE, 0x0003, 0x4000, {1, 2, 3, 4, 5, 6, 7, 8}};

// A command that records what it ran on.
class recording_item : public context_menu_item {
public:
  recording_item(GUID guid, const char* name, GUID parent, double priority, std::uint32_t visibility)
      : guid_(guid), name_(name), parent_(parent), priority_(priority), visibility_(visibility) {}
  std::uint32_t get_count() override { return 1; }
  GUID get_guid(std::uint32_t) override { return guid_; }
  void get_name(std::uint32_t, qiv::string_object& output) override { output.set_string(name_); }
  std::uint32_t get_visibility(std::uint32_t) override { return visibility_; }
  double get_priority() override { return priority_; }
  GUID get_parent() override { return parent_; }
  void execute(std::uint32_t, const track_handle_list& tracks, const GUID& caller) override {
    ++runs;
    tracks_seen = tracks.size();
    caller_seen = caller;
  }

  int runs = 0;
  std::size_t tracks_seen = 0;
  GUID caller_seen = {};

private:
  GUID guid_;
  const char* name_;
  GUID parent_;
  double priority_;
  std::uint32_t visibility_;
};

service_factory_single_t<recording_item> properties_registration{properties_command, "Properties",
                                                                  context_menu_groups::trailing, 0.0,
                                                                  context_menu_item::always};
service_factory_single_t<recording_item> extended_registration{extended_command, "Only with Shift",
                                                                context_menu_groups::trailing, 1.0,
                                                                context_menu_item::extended_only};
service_factory_single_t<recording_item> convert_registration{convert_command, "To WAV", convert_group, 0.0,
                                                               context_menu_item::always};

class convert_named_group : public context_menu_named_group {
public:
  GUID get_guid() override { return convert_group; }
  GUID get_parent_guid() override { return context_menu_groups::root; }
  double get_priority() override { return 10.0; }
  void get_name(qiv::string_object& output) override { output.set_string("Convert"); }
};
service_factory_single_t<convert_named_group> convert_group_registration;

track_handle_list tracks_at(std::initializer_list<const char*> paths) {
  track_handle_list tracks;
  for (const char* path : paths) tracks.push_back(track_handle_registry::get_handle(track_location(path, 0)));
  return tracks;
}

class ContextMenuManager : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    service_registry::table().build(service_factory::global_list_head);
    qiv::set_main_thread_id(GetCurrentThreadId());
    localized_text::set("contextmenu_show_in_explorer", "Show in Explorer");
  }
  static void TearDownTestSuite() { service_registry::free(); }

  void SetUp() override { menu = CreatePopupMenu(); }
  void TearDown() override { DestroyMenu(menu); }

  // What the main window does: its own entries take ids 1 to 6.
  service_ptr<context_menu_manager> build(const track_handle_list& tracks, std::uint32_t flags) {
    auto manager = context_menu_manager_create();
    manager->init_with_caller(tracks, flags, context_menu_caller::main_list);
    context_menu_build_popup(menu, manager->get_root(), 7, -1);
    return manager;
  }

  HMENU menu = nullptr;
  const track_handle_list one_folder = tracks_at({"file://C:\\Music\\A\\1.mp3", "file://C:\\Music\\A\\2.mp3"});
};

TEST_F(ContextMenuManager, EntriesComeInPriorityOrderWithGroupsSetOffAndEmptyGroupsLeftOut) {
  auto manager = build(one_folder, context_menu_manager::flag_normal);
  EXPECT_EQ(menu_texts(menu), (std::vector<std::wstring>{L"Show in Explorer", L"Convert", L"-", L"Properties"}))
      << "Tagging and ReplayGain hold no commands; the unnamed group comes after a separator";
  const auto entries = read_menu(menu);
  ASSERT_NE(entries[1].submenu, nullptr);
  EXPECT_EQ(menu_texts(entries[1].submenu), std::vector<std::wstring>{L"To WAV"});
  EXPECT_EQ(entries[0].id, 7u) << "ids follow the menu order, depth first";
  EXPECT_EQ(read_menu(entries[1].submenu)[0].id, 8u);
  EXPECT_EQ(entries[3].id, 9u);
  EXPECT_FALSE(entries[0].grayed());
}

TEST_F(ContextMenuManager, FlagsChooseTheExtendedEntriesAndTheShortcutTexts) {
  auto last_entry = [&](std::uint32_t flags) {
    DestroyMenu(menu);
    menu = CreatePopupMenu();
    build(one_folder, flags);
    return menu_texts(menu).back();
  };
  using flags = context_menu_manager;
  EXPECT_EQ(last_entry(flags::flag_normal), L"Properties");
  EXPECT_EQ(last_entry(flags::flag_extended | flags::flag_normal), L"Only with Shift") << "8 wins over 4";
  const std::string key = shortcut_key_text(shortcut_key::alt | VK_RETURN);
  EXPECT_EQ(last_entry(flags::flag_normal | flags::flag_shortcuts), L"Properties\t" + std::wstring(key.begin(), key.end()));
  EXPECT_EQ(last_entry(flags::flag_normal | flags::flag_shortcuts_restricted), L"Properties")
      << "the default binding is not offered in restricted menus";
}

TEST_F(ContextMenuManager, NothingToShowIsAnEmptyRootNotAFailure) {
  service_ptr<context_menu_manager> manager;
  ASSERT_NO_THROW(manager = build(track_handle_list{}, context_menu_manager::flag_normal));
  ASSERT_NE(manager->get_root(), nullptr);
  EXPECT_EQ(manager->get_root()->child_count(), 0u);
  EXPECT_EQ(GetMenuItemCount(menu), 0);
  EXPECT_EQ(manager->get_command_node(0), nullptr);
}

TEST_F(ContextMenuManager, TheChosenCommandRunsOnTheTracksTheMenuWasBuiltForOnce) {
  auto& properties = properties_registration.get_static_instance();
  const int runs_before = properties.runs;
  auto manager = build(one_folder, context_menu_manager::flag_normal);
  manager->init_with_caller(tracks_at({"file://C:\\Other\\x.mp3"}), context_menu_manager::flag_extended, GUID{});
  EXPECT_EQ(manager->get_root()->child_count(), 4u) << "a second init keeps the first tree";

  EXPECT_TRUE(context_menu_run_command(*manager, 9 - 7));
  EXPECT_EQ(properties.runs, runs_before + 1);
  EXPECT_EQ(properties.tracks_seen, 2u);
  EXPECT_EQ(properties.caller_seen, context_menu_caller::main_list);
  EXPECT_FALSE(context_menu_run_command(*manager, 3));
  EXPECT_FALSE(context_menu_run_command(*manager, -1));
}

TEST_F(ContextMenuManager, ShowInExplorerIsGreyedUnlessTheTracksAreLocalFilesOfOneFolder) {
  const struct {
    track_handle_list tracks;
    bool grayed;
  } cases[] = {
      {tracks_at({"file://C:\\Music\\A\\1.mp3", "file://C:\\Music\\B\\2.mp3"}), true},
      {tracks_at({"http://example.invalid/a.mp3"}), true},
      {tracks_at({"file://C:\\Music\\A\\1.mp3", "file://c:\\music\\a\\2.mp3"}), false},  // case apart
  };
  for (const auto& c : cases) {
    DestroyMenu(menu);
    menu = CreatePopupMenu();
    build(c.tracks, context_menu_manager::flag_normal);
    EXPECT_EQ(read_menu(menu)[0].grayed(), c.grayed) << c.tracks.front()->get_location().get_path();
  }
}

}  // namespace
