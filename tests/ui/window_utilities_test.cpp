#include "ui/framework/window_utilities.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

// A context deleted twice could take a handle the system has since reused.
TEST(MemoryDc, ResetDeletesTheContextOnceAndTheDestructorFindsNothingLeft) {
  const HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  {
    memory_dc holder(dc);
    holder.reset();
    EXPECT_EQ(holder.get(), nullptr);
    EXPECT_EQ(GetObjectType(dc), 0u);
    holder.reset();
  }
  const HDC owned = CreateCompatibleDC(nullptr);
  { memory_dc holder(owned); }
  EXPECT_EQ(GetObjectType(owned), 0u);
}

}  // namespace

namespace {

LONG font_height(HFONT font) {
  LOGFONTW description = {};
  GetObjectW(font, sizeof(description), &description);
  return description.lfHeight;
}

TEST(FontWithScaledHeight, RoundsHalvesUpAndNeverGivesHeightZero) {
  LOGFONTW description = {};
  description.lfHeight = -12;
  description.lfWeight = FW_NORMAL;
  lstrcpyW(description.lfFaceName, L"Tahoma");
  gdi_object_holder source(CreateFontIndirectW(&description));
  const HFONT font = static_cast<HFONT>(source.get());
  HFONT out = nullptr;
  gdi_object_holder larger(font_with_scaled_height(out, font, 1.5));
  EXPECT_EQ(out, larger.get());
  EXPECT_EQ(font_height(out), -18);
  gdi_object_holder tiny(font_with_scaled_height(out, font, 0.01));
  EXPECT_EQ(font_height(out), -1);
  gdi_object_holder bold(font_with_scaled_height_and_weight(out, font, FW_BOLD, 1.1));
  LOGFONTW bold_description = {};
  GetObjectW(out, sizeof(bold_description), &bold_description);
  EXPECT_EQ(bold_description.lfWeight, FW_BOLD);
  EXPECT_EQ(bold_description.lfHeight, -13);
}

TEST(KeyModifiers, ReadTheKeysHeldAsAltCtrlShiftAndWindowsBits) {
  BYTE saved[256] = {}, keys[256] = {};
  GetKeyboardState(saved);
  keys[VK_CONTROL] = keys[VK_SHIFT] = 0x80;
  SetKeyboardState(keys);
  EXPECT_EQ(key_modifiers(), 6u);
  keys[VK_CONTROL] = keys[VK_SHIFT] = 0;
  keys[VK_MENU] = keys[VK_RWIN] = 0x80;
  SetKeyboardState(keys);
  EXPECT_EQ(key_modifiers(), 9u);
  SetKeyboardState(saved);
}

TEST(ClampXToWorkArea, APointOffEveryMonitorComesToTheNearestWorkAreasEdge) {
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
  EXPECT_EQ(clamp_x_to_work_area(-5000, 10), info.rcWork.left);
  EXPECT_EQ(clamp_x_to_work_area(info.rcWork.left + 3, info.rcWork.top + 3), info.rcWork.left + 3);
}

// A holder must not lose a handle it could not free (a font still selected
// into a context), nor free one twice.
TEST(GdiHolders, ReleaseRestoresWhatWasSelectedAndShiftsTheOriginBack) {
  const HDC dc = CreateCompatibleDC(nullptr);
  const HGDIOBJ original = GetCurrentObject(dc, OBJ_BRUSH);
  gdi_object_holder brush(CreateSolidBrush(RGB(1, 2, 3)));
  {
    selected_object_holder selected(dc, brush.get());
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush.get());
    window_origin_holder shifted(dc, 7, -3);
    POINT origin;
    GetWindowOrgEx(dc, &origin);
    EXPECT_EQ(origin.x, 7);
    EXPECT_EQ(origin.y, -3);
  }
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), original);
  POINT origin;
  GetWindowOrgEx(dc, &origin);
  EXPECT_EQ(origin.x, 0);
  const HGDIOBJ handle = brush.get();
  brush.release();
  EXPECT_EQ(brush.get(), nullptr);
  EXPECT_EQ(GetObjectType(handle), 0u);
  DeleteDC(dc);

  menu_handle menu(CreatePopupMenu());
  const HMENU held = menu.get();
  menu.destroy();
  EXPECT_EQ(menu.get(), nullptr);
  EXPECT_FALSE(IsMenu(held));
}

TEST(ChildWindows, MadeAtTheRectangleWithTheirIdOrAtTheSystemsDefaultPlace) {
  const HWND parent = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
  HWND out = nullptr;
  const RECT place = {5, 6, 105, 36};
  const HWND child = create_child_window(out, L"Button", parent, &place, WS_CHILD, 0, 1234);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(out, child);
  EXPECT_EQ(GetDlgCtrlID(child), 1234);
  RECT r;
  ASSERT_TRUE(get_control_rect_in_parent(parent, 1234, r));
  EXPECT_TRUE(EqualRect(&r, &place));
  EXPECT_FALSE(get_control_rect_in_parent(parent, 999, r));

  const HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, 5, L"five");
  menu_item_set_default(menu, 5);
  EXPECT_EQ(GetMenuDefaultItem(menu, FALSE, 0), 5u);
  DestroyMenu(menu);
  DestroyWindow(parent);
}

}  // namespace
