#include "ui/framework/drawing.h"

namespace {

COLORREF mix_channel(int a, int b, int shift) noexcept {
  const int x = (a >> shift) & 0xFF;
  const int y = (b >> shift) & 0xFF;
  return static_cast<COLORREF>((x + MulDiv(y - x, 50, 100)) & 0xFF) << shift;
}

TRIVERTEX vertex(int x, int y, COLORREF colour) noexcept {
  TRIVERTEX v;
  v.x = x;
  v.y = y;
  v.Red = static_cast<COLOR16>(GetRValue(colour) << 8);
  v.Green = static_cast<COLOR16>(GetGValue(colour) << 8);
  v.Blue = static_cast<COLOR16>(GetBValue(colour) << 8);
  v.Alpha = 0;
  return v;
}

}  // namespace

COLORREF mix_colors(COLORREF a, COLORREF b) noexcept {
  const int x = static_cast<int>(a);
  const int y = static_cast<int>(b);
  return mix_channel(x, y, 0) | mix_channel(x, y, 8) | mix_channel(x, y, 16);
}

void gradient_fill_vertical(HDC dc, const RECT& rectangle, COLORREF top, COLORREF bottom) noexcept {
  TRIVERTEX vertices[2] = {vertex(rectangle.left, rectangle.top, top),
                           vertex(rectangle.right, rectangle.bottom, bottom)};
  GRADIENT_RECT mesh = {0, 1};
  GradientFill(dc, vertices, 2, &mesh, 1, GRADIENT_FILL_RECT_V);
}

void gradient_fill_two_band(HDC dc, const RECT& rectangle, COLORREF a, COLORREF b, int percent) noexcept {
  const int split = rectangle.top + MulDiv(rectangle.bottom - rectangle.top, percent, 100);
  gradient_fill_vertical(dc, {rectangle.left, rectangle.top, rectangle.right, split}, a, b);
  gradient_fill_vertical(dc, {rectangle.left, split, rectangle.right, rectangle.bottom}, b, a);
}

void draw_button_frame(HTHEME theme, HDC dc, const RECT& rectangle, int state) noexcept {
  if (theme != nullptr) {
    DrawThemeBackground(theme, dc, 3, state, &rectangle, nullptr);
    return;
  }
  UINT flags = DFCS_BUTTONPUSH;
  if (state == 3) flags |= DFCS_PUSHED;
  if (state == 5) flags |= DFCS_INACTIVE;
  RECT r = rectangle;
  DrawFrameControl(dc, &r, DFC_BUTTON, flags);
}

void paint_parent_background(HWND window, HDC dc) noexcept {
  const HWND parent = GetParent(window);
  if (parent == nullptr) return;
  POINT origin = {0, 0};
  MapWindowPoints(window, parent, &origin, 1);
  POINT previous = {};
  OffsetWindowOrgEx(dc, origin.x, origin.y, &previous);
  SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  SetWindowOrgEx(dc, previous.x, previous.y, nullptr);
}

void draw_theme_part(HWND window, HDC dc, const wchar_t* class_list, int part, int state, const RECT& rectangle,
                     UINT classic_flags) noexcept {
  const HTHEME theme = IsAppThemed() ? OpenThemeData(window, class_list) : nullptr;
  if (theme != nullptr && IsThemePartDefined(theme, part, 0)) {
    DrawThemeBackground(theme, dc, part, state, &rectangle, nullptr);
    CloseThemeData(theme);
    return;
  }
  if (theme != nullptr) CloseThemeData(theme);
  RECT r = rectangle;
  DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | classic_flags);
}
