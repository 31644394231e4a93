// Button icons from the program's PNG images, at the size the button asks.
#include "ui/framework/button_icon.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "foundation/exceptions.h"
#include "support/screen_capture.h"
#include "ui/framework/gdiplus_session.h"

namespace {

HWND make_button(HWND parent, int width, int height, int x = 0) {
  return CreateWindowExW(0, L"Button", L"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | BS_ICON, x, 10, width, height,
                         parent, nullptr, nullptr, nullptr);
}

SIZE icon_size(HICON icon) {
  ICONINFO info = {};
  if (!GetIconInfo(icon, &info)) return {0, 0};
  BITMAP bitmap = {};
  GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return {bitmap.bmWidth, bitmap.bmHeight};
}

// The icon drawn on white, read back at (x, y).
COLORREF icon_pixel(HICON icon, int size, int x, int y) {
  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
  const HGDIOBJ previous = SelectObject(memory, bitmap);
  RECT all = {0, 0, size, size};
  FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  const COLORREF pixel = GetPixel(memory, x, y);
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixel;
}

class ButtonIcon : public ::testing::Test {
protected:
  void SetUp() override {
    parent = CreateWindowExW(0, L"#32770", L"Button icons", WS_POPUP | WS_CAPTION | WS_VISIBLE, 50, 50, 260, 120,
                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
  }
  void TearDown() override { DestroyWindow(parent); }
  gdiplus_session gdiplus;
  HWND parent = nullptr;
};

TEST_F(ButtonIcon, TheIconIsThreeQuartersOfTheSmallerSideAndAtLeastEight) {
  const struct {
    int width, height, side;
  } cases[] = {{20, 14, 10}, {9, 9, 8}, {4, 30, 8}, {100, 30, 22}, {23, 23, 17}};
  for (const auto& c : cases) {
    const HWND button = make_button(parent, c.width, c.height);
    const SIZE size = button_icon_size(button);
    EXPECT_EQ(size.cx, c.side) << c.width << " x " << c.height;
    EXPECT_EQ(size.cy, c.side) << c.width << " x " << c.height;
    DestroyWindow(button);
  }
}

TEST_F(ButtonIcon, APngResourceBecomesAnIconOfTheAskedSizeWithItsPicture) {
  for (const int side : {8, 17}) {
    const HICON icon = icon_from_png_resource(260, side, side);
    ASSERT_NE(icon, nullptr);
    const SIZE size = icon_size(icon);
    EXPECT_EQ(size.cx, side);
    EXPECT_EQ(size.cy, side);
    DestroyIcon(icon);
  }
  // The first image: white across the middle of a green disc, transparent corners.
  const HICON add = icon_from_png_resource(260, 32, 32);
  EXPECT_EQ(icon_pixel(add, 32, 16, 16), RGB(255, 255, 255));
  const COLORREF disc = icon_pixel(add, 32, 16, 4);
  EXPECT_LT(GetRValue(disc), 100);
  EXPECT_GT(GetGValue(disc), GetRValue(disc));
  EXPECT_EQ(icon_pixel(add, 32, 0, 0), RGB(255, 255, 255));
  DestroyIcon(add);
  // The second image has nothing upright above its middle.
  const HICON remove = icon_from_png_resource(261, 32, 32);
  EXPECT_NE(icon_pixel(remove, 32, 16, 9), RGB(255, 255, 255));
  DestroyIcon(remove);

  EXPECT_THROW(icon_from_png_resource(999, 16, 16), qiv::exception_bug_check);
}

// The images serve Back and Forward, and the DSP editor's Add (into the chain
// on the left) and Remove (out of it, to the right): arrows read right in
// both places, where "+" and "-" read as adding and removing history.
TEST_F(ButtonIcon, TheFirstImagePointsLeftAndTheSecondRight) {
  const auto light = [](COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) > 200 && GetBValue(c) > 200; };
  const HICON left = icon_from_png_resource(260, 32, 32);
  const HICON right = icon_from_png_resource(261, 32, 32);
  // Above the middle only an arrow's head is drawn: on the side it points to.
  EXPECT_TRUE(light(icon_pixel(left, 32, 13, 11)));
  EXPECT_FALSE(light(icon_pixel(left, 32, 18, 11)));
  EXPECT_TRUE(light(icon_pixel(right, 32, 18, 11)));
  EXPECT_FALSE(light(icon_pixel(right, 32, 13, 11)));
  DestroyIcon(left);
  DestroyIcon(right);
}

TEST_F(ButtonIcon, TheSlotMakesTheIconOnceAndTheButtonShowsIt) {
  const HWND add = make_button(parent, 28, 24, 10);
  const HWND remove = make_button(parent, 60, 40, 50);
  icon_slot add_icon, remove_icon;
  set_button_png_icon(add, 260, add_icon);
  set_button_png_icon(remove, 261, remove_icon);
  ASSERT_NE(add_icon.get(), nullptr);
  EXPECT_EQ(icon_size(add_icon.get()).cx, 18);
  EXPECT_EQ(icon_size(remove_icon.get()).cx, 30);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(add, BM_GETIMAGE, IMAGE_ICON, 0)), add_icon.get());
  const HICON first = add_icon.get();
  set_button_png_icon(add, 260, add_icon);
  EXPECT_EQ(add_icon.get(), first);

  test_support::screen_capture shot(parent);
  shot.save("button_icons");
  DestroyWindow(add);
  DestroyWindow(remove);
}

}  // namespace
