#include "core/separator_control.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "support/screen_capture.h"

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

int text_width(HFONT font, const wchar_t* text, int length) {
  const HDC dc = GetDC(nullptr);
  const HGDIOBJ previous = SelectObject(dc, font);
  SIZE size = {};
  GetTextExtentPoint32W(dc, text, length, &size);
  SelectObject(dc, previous);
  ReleaseDC(nullptr, dc);
  return size.cx;
}

// The label, then the etched line at mid-height from after the label (and
// its gap of a quarter "#") to the right edge; a label too wide gets an
// ellipsis and no line; no label, a line from the left edge.
TEST(SeparatorControl, PaintsItsTextAndAnEtchedLineAtMidHeightAfterIt) {
  separator_control::register_class();
  const HWND parent = CreateWindowExW(0, L"Static", L"", WS_POPUP | WS_VISIBLE, 60, 60, 330, 90, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
  const HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  const auto make = [&](const wchar_t* text, int y) {
    const HWND window = CreateWindowExW(0, separator_control::class_name, text, WS_CHILD | WS_VISIBLE, 10, y, 300,
                                        20, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return window;
  };
  make(L"Tags", 5);
  make(L"", 30);
  make(L"A label far too long to fit into the three hundred pixels of this separator control", 55);
  SetWindowPos(parent, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  UpdateWindow(parent);

  test_support::screen_capture shot(parent);
  shot.save("separator_control");
  const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
  const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
  const int label = text_width(font, L"Tags", 4);
  const int gap = text_width(font, L"#\0", 2) / 4;
  ASSERT_GT(gap, 0);
  // Mid-height of a 20-pixel control is its row 10.
  EXPECT_EQ(shot.client_pixel(10 + label + gap, 5 + 10), shadow);
  EXPECT_EQ(shot.client_pixel(10 + 299, 5 + 10), shadow);
  EXPECT_EQ(shot.client_pixel(10 + 200, 5 + 11), highlight);
  EXPECT_NE(shot.client_pixel(10 + label + gap - 1, 5 + 10), shadow);
  EXPECT_NE(shot.client_pixel(10 + 200, 5 + 9), shadow);
  bool text_drawn = false;
  for (int x = 10; x < 10 + label; ++x)
    for (int y = 5; y < 25; ++y)
      if (shot.client_pixel(x, y) == GetSysColor(COLOR_WINDOWTEXT)) text_drawn = true;
  EXPECT_TRUE(text_drawn);

  EXPECT_EQ(shot.client_pixel(10, 30 + 10), shadow);
  EXPECT_EQ(shot.client_pixel(10 + 299, 30 + 10), shadow);

  EXPECT_NE(shot.client_pixel(10 + 297, 55 + 10), shadow);
  DestroyWindow(parent);
}

}  // namespace
