#include "core/separator_control.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

// Painting must validate the window, or it is painted again and again; a
// new font or text must show.
TEST(SeparatorControl, PaintsOnceAndRedrawsForANewFontWithRedrawOrANewText) {
  separator_control::register_class();
  const HWND window = CreateWindowExW(0, separator_control::class_name, L"", WS_POPUP | WS_VISIBLE, 10, 10, 200, 8,
                                      nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  UpdateWindow(window);
  ASSERT_FALSE(GetUpdateRect(window, nullptr, FALSE));
  const HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE));
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  EXPECT_TRUE(GetUpdateRect(window, nullptr, FALSE));
  UpdateWindow(window);
  SetWindowTextW(window, L"Tags");
  EXPECT_TRUE(GetUpdateRect(window, nullptr, FALSE));
  DestroyWindow(window);
}

}  // namespace
