#include "core/separator_control.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(SeparatorControl, KeepsItsFontAndRedrawsWhenTheFontChangesWithRedrawOrTheTextChanges) {
  separator_control::register_class();
  const HWND window = CreateWindowExW(0, separator_control::class_name, L"", WS_POPUP | WS_VISIBLE, 10, 10, 200, 8,
                                      nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  // Painting validates the window, or it would be painted again and again.
  UpdateWindow(window);
  ASSERT_FALSE(GetUpdateRect(window, nullptr, FALSE));

  EXPECT_EQ(SendMessageW(window, WM_GETFONT, 0, 0), 0);
  const HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), font);
  EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE));
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  EXPECT_TRUE(GetUpdateRect(window, nullptr, FALSE));

  UpdateWindow(window);
  SetWindowTextW(window, L"Tags");
  EXPECT_TRUE(GetUpdateRect(window, nullptr, FALSE));
  wchar_t text[16] = {};
  GetWindowTextW(window, text, 16);
  EXPECT_STREQ(text, L"Tags");
  DestroyWindow(window);
}

}  // namespace
