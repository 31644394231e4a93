// A resizable dialog made from a test template, grown and shrunk as the user
// would: anchored controls follow, the size grip keeps its corner, and the
// tracking limits come from dialog units.
#include "ui/framework/dialog_resizer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>

#include "support/screen_capture.h"
#include "test_dialogs.h"
#include "ui/framework/dialog_object.h"
#include "ui/framework/window_utilities.h"

namespace {

class resizable_test_dialog : public dialog_object {
public:
  resizable_test_dialog() {
    const dialog_anchor anchors[] = {
        {TEST_CENTRED_BUTTON, 0.5f, 0, 0.5f, 0},
        {TEST_LEFT_LIST, 0, 0, 0.5f, 1},
        {TEST_ABSENT_CONTROL, 1, 1, 1, 1},
    };
    resizer.set_anchors(anchors, 3);
    resizer.minimum_size_dialog_units = {150, 100};
  }
  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD) override {
    return resizer.process_message(window, message, wparam, lparam, result);
  }
  dialog_resizer resizer;
};

RECT control_rect(HWND dialog, int id) {
  RECT r = {};
  EXPECT_TRUE(get_control_rect_in_parent(dialog, id, r));
  return r;
}

SIZE client_size(HWND window) {
  RECT r;
  GetClientRect(window, &r);
  return {r.right, r.bottom};
}

void grow(HWND window, int dx, int dy) {
  RECT r;
  GetWindowRect(window, &r);
  SetWindowPos(window, nullptr, 0, 0, r.right - r.left + dx, r.bottom - r.top + dy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

class DialogResizer : public ::testing::Test {
protected:
  void SetUp() override {
    window = dialog.create_modeless(TEST_RESIZABLE_DIALOG, nullptr);
    ASSERT_NE(window, nullptr);
    SetWindowPos(window, nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    button = control_rect(window, TEST_CENTRED_BUTTON);
    list = control_rect(window, TEST_LEFT_LIST);
    label = control_rect(window, TEST_FIXED_LABEL);
    client = client_size(window);
  }
  void TearDown() override { DestroyWindow(window); }

  resizable_test_dialog dialog;
  HWND window = nullptr;
  RECT button{}, list{}, label{};
  SIZE client{};
};

TEST_F(DialogResizer, GrowingMovesAndStretchesAnchoredControlsByTheirFactors) {
  grow(window, 100, 60);
  const SIZE grown = client_size(window);
  const int dx = grown.cx - client.cx, dy = grown.cy - client.cy;
  ASSERT_EQ(dx, 100);
  ASSERT_EQ(dy, 60);

  const RECT moved = control_rect(window, TEST_CENTRED_BUTTON);
  EXPECT_EQ(moved.left, button.left + 50);
  EXPECT_EQ(moved.top, button.top);
  EXPECT_EQ(moved.right - moved.left, button.right - button.left);
  EXPECT_EQ(moved.bottom - moved.top, button.bottom - button.top);

  const RECT stretched = control_rect(window, TEST_LEFT_LIST);
  EXPECT_EQ(stretched.left, list.left);
  EXPECT_EQ(stretched.top, list.top);
  EXPECT_EQ(stretched.right, list.right + 50);
  EXPECT_EQ(stretched.bottom, list.bottom + 60);

  const RECT still = control_rect(window, TEST_FIXED_LABEL);
  EXPECT_TRUE(EqualRect(&still, &label));  // no anchor, and the absent one is skipped

  grow(window, 1, 0);  // halves round up: 101 / 2 moves by 51
  EXPECT_EQ(control_rect(window, TEST_CENTRED_BUTTON).left, button.left + 51);

  test_support::screen_capture shot(window);
  shot.save("dialog_resizer_grown");
  const HWND grip = dialog.resizer.size_grip();
  ASSERT_NE(grip, nullptr);
  RECT grip_rect;
  GetWindowRect(grip, &grip_rect);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&grip_rect), 2);
  const SIZE now = client_size(window);
  EXPECT_EQ(grip_rect.right, now.cx);
  EXPECT_EQ(grip_rect.bottom, now.cy);
  EXPECT_TRUE(IsWindowVisible(grip));
}

TEST_F(DialogResizer, TheGripHidesWhileMaximisedAndTheMinimumComesFromDialogUnits) {
  const HWND grip = dialog.resizer.size_grip();
  ASSERT_NE(grip, nullptr);
  ShowWindow(window, SW_MAXIMIZE);
  EXPECT_FALSE(IsWindowVisible(grip));
  ShowWindow(window, SW_RESTORE);
  EXPECT_TRUE(IsWindowVisible(grip));

  RECT expected = {0, 0, 150, 100};
  MapDialogRect(window, &expected);
  AdjustWindowRectEx(&expected, GetWindowLongW(window, GWL_STYLE), FALSE, GetWindowLongW(window, GWL_EXSTYLE));
  MINMAXINFO info = {};
  info.ptMaxTrackSize = {5000, 4000};
  SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, expected.right - expected.left);
  EXPECT_EQ(info.ptMinTrackSize.y, expected.bottom - expected.top);
  // No maximum was given: the system's stays.
  EXPECT_EQ(info.ptMaxTrackSize.x, 5000);
  EXPECT_EQ(info.ptMaxTrackSize.y, 4000);
}

// Sizes past 32767 or below zero come as the high bit of each half.
TEST_F(DialogResizer, SizeHalvesAreSignedSoAShrinkBelowZeroMovesControlsBack) {
  SendMessageW(window, WM_SIZE, SIZE_RESTORED, static_cast<LPARAM>(0xFFFF0010));
  const int dx = 16 - client.cx;
  ASSERT_LT(dx, 0);
  const RECT moved = control_rect(window, TEST_CENTRED_BUTTON);
  EXPECT_EQ(moved.left, button.left + static_cast<int>(std::floor(dx * 0.5 + 0.5)));
  EXPECT_EQ(moved.right - moved.left, button.right - button.left);
}

TEST(DialogResizerAnchors, PackedFlagsMoveOrStretchEachAxis) {
  // Packed anchors behave as the factors they stand for.
  resizable_test_dialog dialog;
  const std::uint32_t packed[] = {dialog_resizer::packed(TEST_CENTRED_BUTTON, dialog_resizer::move_x),
                                  dialog_resizer::packed(TEST_LEFT_LIST,
                                                         dialog_resizer::stretch_x | dialog_resizer::move_y)};
  dialog.resizer.set_packed_anchors(packed, 2);
  const HWND window = dialog.create_modeless(TEST_RESIZABLE_DIALOG, nullptr);
  const RECT button = control_rect(window, TEST_CENTRED_BUTTON);
  const RECT list = control_rect(window, TEST_LEFT_LIST);
  const SIZE client = client_size(window);
  SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.cx + 30, client.cy + 20));
  const RECT button_now = control_rect(window, TEST_CENTRED_BUTTON);
  const RECT list_now = control_rect(window, TEST_LEFT_LIST);
  EXPECT_EQ(button_now.left, button.left + 30);
  EXPECT_EQ(button_now.right, button.right + 30);
  EXPECT_EQ(button_now.top, button.top);
  EXPECT_EQ(list_now.left, list.left);
  EXPECT_EQ(list_now.right, list.right + 30);
  EXPECT_EQ(list_now.top, list.top + 20);
  EXPECT_EQ(list_now.bottom, list.bottom + 20);
  DestroyWindow(window);
  EXPECT_EQ(dialog.resizer.size_grip(), nullptr);
}

}  // namespace
