#include "ui/controls/control_font_messages.h"

namespace control_font_messages {

bool process(HWND window, UINT message, WPARAM wparam, LPARAM lparam, HFONT& font, LRESULT& result) {
  switch (message) {
  case WM_SETFONT:
    font = reinterpret_cast<HFONT>(wparam);
    if (LOWORD(lparam) != 0) InvalidateRect(window, nullptr, TRUE);
    result = 0;
    return true;
  case WM_GETFONT:
    result = reinterpret_cast<LRESULT>(font);
    return true;
  case WM_SETTEXT:
    result = DefWindowProcW(window, message, wparam, lparam);
    InvalidateRect(window, nullptr, TRUE);
    return true;
  default:
    return false;
  }
}

}  // namespace control_font_messages
