// The default key bindings and their texts, run as the main window and as a
// caller with a track list would.
#include "ui/menus/keyboard_shortcuts.h"

#include <gtest/gtest.h>

#include "core/app_state.h"
#include "core/preferences_menu_group.h"
#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "foundation/string_small.h"
#include "ui/dialogs/preferences_dialog.h"
#include "ui/menus/context_menu_item.h"

namespace {

constexpr GUID properties_command = {0x6F441057, 0x1D18, 0x4A58, {0x9A, 0xC4, 0x8F, 0x40, 0x9C, 0xDA, 0x7D, 0xFD}};
constexpr std::uint32_t ctrl_p = shortcut_key::ctrl | 'P';
constexpr std::uint32_t alt_enter = shortcut_key::alt | VK_RETURN;

// Whether the preferences command opened its dialog; closes it again.
bool preferences_dialog_opened() {
  const HWND dialog = preferences_dialog::window();
  if (dialog != nullptr) DestroyWindow(dialog);
  return dialog != nullptr;
}

// Stands where the properties dialog registers its command.
class properties_item : public context_menu_item {
public:
  std::size_t tracks_seen = 0;
  std::uint32_t get_count() override { return 1; }
  GUID get_guid(std::uint32_t) override { return properties_command; }
  void get_name(std::uint32_t, qiv::string_object& output) override { output.set_string("Properties"); }
  double get_priority() override { return 0; }
  GUID get_parent() override { return GUID{}; }
  void execute(std::uint32_t, const track_handle_list& tracks, const GUID&) override { tracks_seen = tracks.size(); }
};
service_factory_single_t<properties_item> properties_registration;

// Pulls the preferences command, which the shortcut finds by GUID, into
// the test program.
service_single_instance<preferences_menu_group> preferences_group;

class KeyboardShortcuts : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(preferences_group.get_command_guid(0), preferences_menu_group::command_guid);
    service_registry::table().build(service_factory::global_list_head);
    qiv::set_main_thread_id(GetCurrentThreadId());
    // The window the preferences dialog belongs to.
    app::state().ui_main_window = CreateWindowExW(0, L"STATIC", L"Main", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  static void TearDownTestSuite() { service_registry::free(); }
  void SetUp() override {
    properties_registration.get_static_instance().tracks_seen = 0;
  }
  service_ptr<keyboard_shortcuts_main> table = service_query_required<keyboard_shortcuts_main>(
      service_lookup_unique(keyboard_shortcuts::class_guid).get());
};

std::string system_name(UINT virtual_key) {
  wchar_t name[64] = {};
  GetKeyNameTextW(static_cast<LONG>(MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC) << 16), name, 64);
  char text[64] = {};
  WideCharToMultiByte(CP_UTF8, 0, name, -1, text, 64, nullptr, nullptr);
  return text;
}

TEST_F(KeyboardShortcuts, KeyTextsNameModifiersInOrderThenTheKey) {
  EXPECT_EQ(shortcut_key_text(ctrl_p), "Ctrl+" + system_name('P'));
  EXPECT_EQ(shortcut_key_text(shortcut_key::ctrl | 0xB3), "Ctrl+Play / Pause (MM)");
  EXPECT_EQ(shortcut_key_text(shortcut_key::shift | VK_SHIFT), system_name(VK_SHIFT)) << "Shift named once";
  EXPECT_EQ(shortcut_key_text(shortcut_key::win | shortcut_key::alt | shortcut_key::ctrl | shortcut_key::shift |
                              VK_DELETE),
            "Shift+Ctrl+Alt+Win+Delete");
  EXPECT_EQ(shortcut_key_text(0xFF), "(unknown)");

  qiv::string_small text;
  ASSERT_TRUE(table->get_shortcut_text(preferences_menu_group::command_guid, GUID{}, text, 0, false));
  EXPECT_EQ(std::string(text.get_ptr()), "Ctrl+P");
  EXPECT_FALSE(table->get_shortcut_text(preferences_menu_group::command_guid, GUID{}, text, 0, true))
      << "the default bindings are not offered to restricted menus";
  EXPECT_FALSE(table->get_shortcut_text(preferences_menu_group::command_guid, GUID{}, text, 1, false));
  EXPECT_TRUE(table->get_shortcut_text(properties_command, GUID{}, text, 1, false));
  EXPECT_EQ(std::string(text.get_ptr()), "Alt+" + system_name(VK_RETURN));
}

TEST_F(KeyboardShortcuts, TheMainWindowRunsCtrlPAndLeavesAltEnterForWantOfASelection) {
  EXPECT_TRUE(table->process_key_main(ctrl_p));
  EXPECT_TRUE(preferences_dialog_opened());
  EXPECT_FALSE(table->process_key_main(alt_enter));
  EXPECT_EQ(properties_registration.get_static_instance().tracks_seen, 0u);
  EXPECT_FALSE(table->process_key_main(shortcut_key::shift | 'P')) << "modifiers are part of the key";
  EXPECT_FALSE(preferences_dialog_opened());
}

TEST_F(KeyboardShortcuts, ACallerWithTracksRunsTheContextBindingOnThem) {
  EXPECT_FALSE(table->process_key(1, track_handle_list(), alt_enter));
  EXPECT_TRUE(table->process_key(1, track_handle_list(3), alt_enter));
  EXPECT_EQ(properties_registration.get_static_instance().tracks_seen, 3u);
  EXPECT_FALSE(table->process_key(0, track_handle_list(3), alt_enter)) << "only bindings of the kind asked for";
  EXPECT_TRUE(table->process_key(0, track_handle_list(), ctrl_p));
  EXPECT_TRUE(preferences_dialog_opened());
}

}  // namespace
