// Middle-button autoscroll on a system list view, and the list-view
// operations the dialogs share.
#include "ui/framework/list_view_ctrl.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/message_pump.h"
#include "support/screen_capture.h"
#include "test_dialogs.h"
#include "ui/framework/autoscroll_speed.h"
#include "ui/framework/list_view_operations.h"

namespace {

std::vector<int> scroll_commands;

LRESULT CALLBACK scroll_counter_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_VSCROLL || message == WM_HSCROLL) scroll_commands.push_back(LOWORD(wparam));
  return DefWindowProcW(window, message, wparam, lparam);
}

INT_PTR CALLBACK quiet_dialog_procedure(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

class ListViewCtrl : public ::testing::Test {
protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSW counter = {};
    counter.lpfnWndProc = &scroll_counter_procedure;
    counter.lpszClassName = L"ScrollCounter";
    RegisterClassW(&counter);
    // A real dialog: column widths are in its dialog units.
    parent = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(TEST_SIMPLE_DIALOG), nullptr,
                                &quiet_dialog_procedure, 0);
    ASSERT_NE(parent, nullptr);
    DestroyWindow(GetDlgItem(parent, IDOK));
    // Above the windows of tests running beside this one, for the clicks.
    SetWindowPos(parent, HWND_TOPMOST, 120, 80, 420, 320, SWP_SHOWWINDOW);
    list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, 0, 0, 400,
                           280, parent, nullptr, nullptr, nullptr);
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(control.attach_to(list));
    ASSERT_EQ(list_view_insert_column(list, 0, "Name", 100), 0);
    ASSERT_EQ(list_view_insert_column(list, 1, "Wert \xC3\xA4", 400), 1);
    for (int i = 0; i < 120; ++i) {
      const std::string text = "Row " + std::to_string(i);
      ASSERT_EQ(list_view_append_item(list, -1, text.c_str(), 1000 + i), i);
    }
    SetForegroundWindow(parent);
    pump_pending();
  }
  void TearDown() override { DestroyWindow(parent); }

  int top_index() const { return static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0)); }

  list_view_ctrl control;
  HWND parent = nullptr, list = nullptr;
};

TEST_F(ListViewCtrl, TheOperationsReadAndWriteItemsAndSelectOneItemIntoView) {
  list_view_set_item_text(list, 5, 1, "gr\xC3\xBC\xC3\x9F");
  std::string text;
  list_view_get_item_text(list, 5, 1, text);
  EXPECT_EQ(text, "gr\xC3\xBC\xC3\x9F");
  list_view_get_item_text(list, 7, 0, text);
  EXPECT_EQ(text, "Row 7");
  EXPECT_EQ(list_view_get_item_data(list, 9), 1009);
  EXPECT_EQ(list_view_get_item_data(list, 5000), 0);
  EXPECT_EQ(list_view_append_item(list, 0, "First", 1), 0);

  list_view_set_item_state(list, -1, LVIS_SELECTED, LVIS_SELECTED);
  EXPECT_TRUE(list_view_is_item_selected(list, 0));
  EXPECT_TRUE(list_view_is_item_selected(list, 100));
  list_view_select_only(list, 100);
  EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
  EXPECT_TRUE(list_view_is_item_selected(list, 100));
  EXPECT_GT(top_index(), 70);
  list_view_select_and_show(list, 3);
  EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
  EXPECT_EQ(top_index(), 3);
}

TEST_F(ListViewCtrl, MiddleButtonAutoscrollMovesByLinesAndPagesAndEndsWithAnyClick) {
  // With the pointer on the origin the ticks move nothing while the picture
  // is taken.
  POINT press = {200, 100};
  ClientToScreen(list, &press);
  SetCursorPos(press.x, press.y);
  SendMessageW(list, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(200, 100));
  ASSERT_TRUE(control.autoscroll_active());
  EXPECT_EQ(GetCapture(), list);
  ASSERT_NE(control.marker_window(), nullptr);
  EXPECT_TRUE(IsWindowVisible(control.marker_window()));
  test_support::screen_capture(parent).save("list_view_ctrl_autoscroll");
  SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));  // swallowed

  // A real left click ends the mode and still selects the row under it (the
  // list view follows the mouse itself while the button is down).
  POINT row = {20, 60};
  ClientToScreen(list, &row);
  SetCursorPos(row.x, row.y);
  INPUT click[2] = {};
  click[0].type = click[1].type = INPUT_MOUSE;
  click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  ASSERT_EQ(SendInput(2, click, sizeof(INPUT)), 2u);
  const DWORD start = GetTickCount();
  while (SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) == 0 && GetTickCount() - start < 3000) {
    pump_pending();
    Sleep(10);
  }
  EXPECT_FALSE(control.autoscroll_active());
  EXPECT_FALSE(IsWindowVisible(control.marker_window()));
  EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 1);

  // More than a page of lines goes as page steps plus the remaining lines.
  const HWND counter = CreateWindowExW(0, L"ScrollCounter", L"", WS_POPUP | WS_VSCROLL, 0, 0, 50, 50, nullptr,
                                       nullptr, nullptr, nullptr);
  SCROLLINFO page = {sizeof(page), SIF_RANGE | SIF_PAGE, 0, 100, 10, 0, 0};
  SetScrollInfo(counter, SB_VERT, &page, FALSE);
  scroll_commands.clear();
  scroll_lines(counter, WM_VSCROLL, 23);
  EXPECT_EQ(scroll_commands, (std::vector<int>{SB_PAGEDOWN, SB_PAGEDOWN, SB_LINEDOWN, SB_LINEDOWN, SB_LINEDOWN}));
  scroll_commands.clear();
  scroll_lines(counter, WM_VSCROLL, -1);
  scroll_lines(counter, WM_HSCROLL, 5);  // no horizontal bar: nothing
  EXPECT_EQ(scroll_commands, std::vector<int>{SB_LINEUP});
  DestroyWindow(counter);

  // Speeds below a line a tick gather in the rest.
  int rest = 0, lines = 0;
  for (int i = 0; i < 4; ++i) lines += take_whole_lines(5, 16, rest);
  EXPECT_EQ(lines, 1);
  EXPECT_EQ(rest, 4);
  EXPECT_EQ(take_whole_lines(-20, 16, rest), -1);
  EXPECT_EQ(take_whole_lines(7, 0, rest), 0);

  // A tick with the pointer 200 pixels below the origin moves 36 pixels:
  // two lines of 16, the rest kept.
  POINT origin = {200, 60};
  ClientToScreen(list, &origin);
  SendMessageW(list, LVM_ENSUREVISIBLE, 0, FALSE);
  SendMessageW(list, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(200, 60));
  KillTimer(list, autoscroll_session::timer_id);  // one tick, run by the test
  SetCursorPos(origin.x, origin.y + 200);
  PostMessageW(list, WM_TIMER, autoscroll_session::timer_id, 0);
  pump_pending();
  EXPECT_EQ(top_index(), 2);
  SendMessageW(list, WM_MBUTTONUP, 0, 0);
  EXPECT_FALSE(control.autoscroll_active());
}

}  // namespace
