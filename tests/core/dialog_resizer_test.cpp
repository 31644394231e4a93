#include "core/dialog_resizer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "core/callback_guard.h"

namespace {

TEST(DialogResizer, SizeReachesTheLayoutAsSignedHalvesAndIsConsumed) {
  dialog_layout layout;
  LRESULT result = 12345;
  EXPECT_TRUE(dialog_resizer::process_message(layout, nullptr, WM_SIZE, static_cast<LPARAM>(0xFFFF0010), result));
  EXPECT_EQ(layout.client_size.cx, 16);
  EXPECT_EQ(layout.client_size.cy, -1);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(layout.handled, TRUE);
}

TEST(ResizableDialog, HandledFlagsComeOutAsTheyWentIn) {
  resizable_dialog dialog;
  LRESULT result = 0;
  EXPECT_TRUE(dialog.process_message(nullptr, WM_SIZE, MAKELPARAM(640, 480), result));
  EXPECT_EQ(dialog.layout.handled, FALSE);

  dialog.layout.handled = TRUE;
  dialog.placement.handled = TRUE;
  EXPECT_FALSE(dialog.process_message(nullptr, WM_DESTROY, 0, result));
  EXPECT_EQ(dialog.layout.handled, TRUE);
  EXPECT_EQ(dialog.placement.handled, TRUE);
}

// A real dialog whose procedure offers every message to the resizer first,
// as the program's dialogs do, and records what reaches its own handling.
struct dialog_record {
  resizable_dialog* dialog = nullptr;
  std::vector<UINT> own_messages;
  HWND layout_window_at_init = nullptr;
  HWND placement_window_at_init = nullptr;
  HWND layout_window_at_destroy = nullptr;
};
dialog_record record;

INT_PTR CALLBACK test_dialog_procedure(HWND window, UINT message, WPARAM, LPARAM lparam) {
  return guard_callback<INT_PTR>(FALSE, [&]() -> INT_PTR {
    LRESULT result = 0;
    if (record.dialog->process_message(window, message, lparam, result)) {
      SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
      return TRUE;
    }
    if (message == WM_INITDIALOG) {
      record.layout_window_at_init = record.dialog->layout.dialog;
      record.placement_window_at_init = record.dialog->placement.window;
    }
    if (message == WM_DESTROY) record.layout_window_at_destroy = record.dialog->layout.dialog;
    if (message == WM_INITDIALOG || message == WM_DESTROY || message == WM_SIZE || message == WM_GETMINMAXINFO)
      record.own_messages.push_back(message);
    return FALSE;
  });
}

TEST(ResizableDialog, InitAndDestroyReachTheDialogAfterTheLayoutButSizingDoesNot) {
  resizable_dialog dialog;
  record = {};
  record.dialog = &dialog;
  // An in-memory template: a captioned, resizable popup without controls.
  struct alignas(4) {
    DLGTEMPLATE header;
    WORD menu, window_class, title;
  } dialog_template = {};
  dialog_template.header.style = WS_POPUP | WS_CAPTION | WS_THICKFRAME;
  dialog_template.header.cx = 120;
  dialog_template.header.cy = 80;
  HWND window = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), &dialog_template.header, nullptr,
                                           test_dialog_procedure, 0);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(record.layout_window_at_init, window);
  EXPECT_EQ(record.placement_window_at_init, window);

  MINMAXINFO info = {};
  SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200));
  EXPECT_EQ(dialog.layout.client_size.cx, 300);

  record.layout_window_at_destroy = window;
  DestroyWindow(window);
  callback_guard::rethrow_pending();
  EXPECT_EQ(record.own_messages, (std::vector<UINT>{WM_INITDIALOG, WM_DESTROY}));
  EXPECT_EQ(record.layout_window_at_destroy, nullptr);
}

}  // namespace
