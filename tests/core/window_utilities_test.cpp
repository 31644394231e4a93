#include "core/window_utilities.h"

#include <windows.h>

#include <gtest/gtest.h>


namespace {

// What SetWindowLongW and SetWindowPos told the test window.
int style_changes = 0;
int frame_recomputations = 0;

LRESULT CALLBACK counting_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_STYLECHANGING && wparam == static_cast<WPARAM>(GWL_EXSTYLE)) ++style_changes;
  if (message == WM_NCCALCSIZE && wparam) ++frame_recomputations;
  return DefWindowProcW(window, message, wparam, lparam);
}

class test_window {
public:
  test_window() {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = counting_procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"ZorvTest:WindowUtilities";
    RegisterClassW(&window_class);
    window_ = CreateWindowExW(0, window_class.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 200, 150, nullptr,
                              nullptr, window_class.hInstance, nullptr);
    style_changes = frame_recomputations = 0;
  }
  ~test_window() { DestroyWindow(window_); }
  HWND get() const { return window_; }

private:
  HWND window_;
};

TEST(ModalDialogFrame, IsAddedWithItsFrameRecomputedAndNeverTwice) {
  test_window window;
  ASSERT_NE(window.get(), nullptr);
  add_modal_dialog_frame(window.get());
  EXPECT_NE(GetWindowLongW(window.get(), GWL_EXSTYLE) & WS_EX_DLGMODALFRAME, 0);
  EXPECT_EQ(style_changes, 1);
  EXPECT_GE(frame_recomputations, 1);

  style_changes = frame_recomputations = 0;
  add_modal_dialog_frame(window.get());
  EXPECT_EQ(style_changes, 0);
  EXPECT_EQ(frame_recomputations, 0);

  // Without extra flags only the style changes.
  EXPECT_EQ(set_window_ex_style(window.get(), WS_EX_TOOLWINDOW, 0), 1);
  EXPECT_EQ(style_changes, 1);
  EXPECT_EQ(frame_recomputations, 0);
}

TEST(MemoryDc, ResetDeletesTheContextOnceAndEmptyResetsDoNothing) {
  memory_dc empty;
  empty.reset();
  EXPECT_EQ(empty.get(), nullptr);

  const HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  {
    memory_dc holder(dc);
    holder.reset();
    EXPECT_EQ(holder.get(), nullptr);
    EXPECT_EQ(GetObjectType(dc), 0u);
  }  // the destructor finds nothing left to delete

  const HDC owned = CreateCompatibleDC(nullptr);
  { memory_dc holder(owned); }
  EXPECT_EQ(GetObjectType(owned), 0u);
}

}  // namespace
