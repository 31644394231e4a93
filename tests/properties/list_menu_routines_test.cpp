// Where the properties lists open their context menus, and how their menus
// are put together.
#include "properties/list_menu_routines.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include "core/localized_text.h"
#include "ui/framework/list_view_operations.h"

namespace {

TEST(ListMenuRoutines, TheMenuKeyOpensOnTheFirstSelectedRowThatShowsElseOnTheListsCentre) {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  HWND list = CreateWindowW(WC_LISTVIEWW, L"", WS_POPUP | WS_VISIBLE | LVS_REPORT, 100, 100, 200, 120, nullptr,
                            nullptr, nullptr, nullptr);
  LVCOLUMNW column{};
  column.mask = LVCF_WIDTH;
  column.cx = 150;
  SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  SendMessageW(list, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
  for (int row = 0; row < 50; ++row) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(L"row");
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  }
  EXPECT_EQ(list_view_header_count(list), 2);
  const auto select = [&](int row, bool on) {
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED;
    state.state = on ? LVIS_SELECTED : 0;
    SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
  };
  RECT list_rect;
  GetWindowRect(list, &list_rect);
  const POINT list_centre = {(list_rect.left + list_rect.right) / 2, (list_rect.top + list_rect.bottom) / 2};

  EXPECT_EQ(context_menu_point(list, {-1, -1}).y, list_centre.y) << "nothing selected";
  select(45, true);
  EXPECT_EQ(context_menu_point(list, {-1, -1}).y, list_centre.y) << "the selected row is scrolled away";
  select(2, true);
  EXPECT_TRUE(list_view_is_item_selected(list, 2));
  EXPECT_FALSE(list_view_is_item_selected(list, 3));
  RECT row_rect{};
  row_rect.left = LVIR_BOUNDS;
  SendMessageW(list, LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&row_rect));
  POINT row_centre = {(row_rect.left + row_rect.right) / 2, (row_rect.top + row_rect.bottom) / 2};
  ClientToScreen(list, &row_centre);
  const POINT key = context_menu_point(list, {-1, -1});
  EXPECT_EQ(key.y, row_centre.y);
  EXPECT_EQ(context_menu_point(list, {5, 7}).x, 5) << "a mouse point is kept";
  DestroyWindow(list);
}

TEST(ListMenuRoutines, SubmenusAndShortcutTextsAreMadeAsMenusShowThem) {
  localized_text::set("properties_menu_copy", "Copy");
  EXPECT_EQ(menu_text_with_shortcut("properties_menu_copy", L"Ctrl+C"), L"Copy\tCtrl+C");
  HMENU menu = CreatePopupMenu();
  HMENU sub = CreatePopupMenu();
  append_submenu(menu, MF_STRING, sub, "Tools");
  EXPECT_EQ(GetSubMenu(menu, 0), sub);
  DestroyMenu(menu);
  HMENU orphan = CreatePopupMenu();
  EXPECT_THROW(append_submenu(menu, MF_STRING, orphan, "Gone"), std::exception) << "the menu was destroyed";
  DestroyMenu(orphan);
}

}  // namespace
