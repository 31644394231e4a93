// Menu trees made into popup menus, and key presses made into shortcut codes.
#include "ui/menus/popup_menus.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ui/main/shortcut_keys.h"

namespace {

class node final : public context_menu_node {
public:
  node(std::uint32_t kind, const char* text, std::int32_t id = -1, std::uint32_t flags = 0)
      : kind_(kind), text_(text), id_(id), flags_(flags) {}
  std::vector<std::unique_ptr<node>> children;

  node& add(std::uint32_t kind, const char* text, std::int32_t id = -1, std::uint32_t flags = 0) {
    children.push_back(std::make_unique<node>(kind, text, id, flags));
    return *children.back();
  }
  std::uint32_t kind() override { return kind_; }
  const char* text() override { return text_; }
  std::uint32_t child_count() override { return static_cast<std::uint32_t>(children.size()); }
  context_menu_node* child(std::uint32_t index) override { return children[index].get(); }
  std::uint32_t flags() override { return flags_; }
  std::int32_t command_id() override { return id_; }
  void run() override {}

private:
  std::uint32_t kind_;
  const char* text_;
  std::int32_t id_;
  std::uint32_t flags_;
};

struct item {
  UINT id;
  UINT state;
  UINT type;
  std::wstring text;
};

std::vector<item> items_of(HMENU menu) {
  std::vector<item> out;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t text[64] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_STATE | MIIM_FTYPE | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = 64;
    GetMenuItemInfoW(menu, i, TRUE, &info);
    out.push_back({info.wID, info.fState, info.fType, text});
  }
  return out;
}

TEST(PopupMenus, BuildsItemsFromTheTree) {
  node root(context_menu_node::kind_popup, "root");
  root.add(context_menu_node::kind_command, "Play", 0, context_menu_node::flag_checked);
  root.add(context_menu_node::kind_command, "hidden", -1);
  root.add(context_menu_node::kind_command, "Nine", 9, context_menu_node::flag_checked | context_menu_node::flag_radio);
  root.add(context_menu_node::kind_command, "Ten", 10);
  root.add(context_menu_node::kind_separator, "");
  root.add(context_menu_node::kind_command, "R&B", 3, context_menu_node::flag_disabled | context_menu_node::flag_grayed);
  root.add(context_menu_node::kind_popup, "&", -1, context_menu_node::flag_radio);
  const HMENU menu = CreatePopupMenu();
  context_menu_build_popup(menu, &root, 7, 10);
  const std::vector<item> items = items_of(menu);
  ASSERT_EQ(items.size(), 5u) << "id -1 and ids from the limit on are left out";
  EXPECT_EQ(items[0].id, 7u) << "base 7 + id 0";
  EXPECT_TRUE(items[0].state & MFS_CHECKED);
  EXPECT_EQ(items[1].id, 16u);
  EXPECT_TRUE(items[1].type & MFT_RADIOCHECK) << "flag 8: a radio bullet";
  EXPECT_TRUE(items[2].type & MFT_SEPARATOR);
  EXPECT_EQ(items[3].text, L"R&&B");
  EXPECT_EQ(items[3].state & (MFS_DISABLED | MFS_GRAYED), UINT(MFS_DISABLED | MFS_GRAYED));
  EXPECT_EQ(items[4].text, L"&&") << "an empty popup is still listed";
  EXPECT_FALSE(items[4].type & MFT_RADIOCHECK);
  DestroyMenu(menu);

  node command(context_menu_node::kind_command, "lone", 1);
  const HMENU unchanged = CreatePopupMenu();
  context_menu_build_popup(unchanged, &command, 7, -1);
  EXPECT_EQ(GetMenuItemCount(unchanged), 0) << "only a popup's children become items";
  DestroyMenu(unchanged);
}

TEST(ShortcutKeys, KeyPressesInTheMainWindowReachTheTable) {
  struct table final : shortcut_table {
    std::vector<std::uint32_t> codes;
    bool run_shortcut(std::uint32_t code) override {
      codes.push_back(code);
      return true;
    }
  } shortcuts;
  const HWND main = CreateWindowExW(0, L"STATIC", L"main", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                    nullptr, nullptr);
  const HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 5, 5, main, nullptr, nullptr, nullptr);
  const HWND dialog = CreateWindowExW(0, L"STATIC", L"dialog", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                      nullptr, nullptr);
  const struct {
    HWND target;
    UINT message;
    WPARAM key;
    std::uint32_t modifiers;
    std::int64_t code;  // -1: the table is not asked
    const char* why;
  } rows[] = {
      {main, WM_KEYDOWN, 'P', 2, 0x250, "Ctrl+P"},
      {child, WM_SYSKEYDOWN, VK_RETURN, 1, 0x40D, "Alt+Enter in a child control"},
      {main, WM_KEYDOWN, 'P', 2 | 4, 0x350, "Ctrl+Shift+P"},
      {main, WM_KEYDOWN, 0x1FF, 8, 0x8FF, "the Windows key; only the low byte of the key"},
      {main, WM_KEYUP, 'P', 2, -1, "releases never match"},
      {main, WM_CHAR, 'p', 0, -1, "characters never match"},
      {dialog, WM_KEYDOWN, 'P', 2, -1, "a separate top-level window"},
  };
  for (const auto& r : rows) {
    shortcuts.codes.clear();
    MSG message{};
    message.hwnd = r.target;
    message.message = r.message;
    message.wParam = r.key;
    EXPECT_EQ(shortcut_process_key_message(shortcuts, main, message, r.modifiers), r.code >= 0) << r.why;
    EXPECT_EQ(shortcuts.codes, r.code >= 0 ? std::vector<std::uint32_t>{std::uint32_t(r.code)}
                                           : std::vector<std::uint32_t>{})
        << r.why;
  }
  DestroyWindow(dialog);
  DestroyWindow(main);
}

}  // namespace
