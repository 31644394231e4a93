#include "ui/framework/list_view_ctrl.h"

#include <cstdlib>

#include "ui/framework/autoscroll_speed.h"
#include "ui/framework/window_utilities.h"

namespace {

// Pixels (at 96 DPI) of one horizontal and one vertical scroll line.
constexpr int unit_x = 4;
constexpr int unit_y = 16;

}  // namespace

void scroll_lines(HWND window, UINT scroll_message, int lines) {
  SCROLLINFO info = {sizeof(info), SIF_RANGE | SIF_PAGE, 0, 0, 0, 0, 0};
  if (!GetScrollInfo(window, scroll_message == WM_HSCROLL ? SB_HORZ : SB_VERT, &info) || info.nPage == 0) return;
  const bool forward = lines >= 0;
  unsigned left = static_cast<unsigned>(std::abs(lines));
  while (left >= info.nPage) {
    SendMessageW(window, scroll_message, forward ? SB_PAGEDOWN : SB_PAGEUP, 0);
    left -= info.nPage;
  }
  for (; left > 0; --left) SendMessageW(window, scroll_message, forward ? SB_LINEDOWN : SB_LINEUP, 0);
}

bool is_other_mouse_button_message(UINT message) noexcept {
  switch (message) {
  case WM_LBUTTONDOWN:
  case WM_LBUTTONUP:
  case WM_LBUTTONDBLCLK:
  case WM_RBUTTONDOWN:
  case WM_RBUTTONUP:
  case WM_RBUTTONDBLCLK:
  case WM_XBUTTONDOWN:
  case WM_XBUTTONUP:
  case WM_XBUTTONDBLCLK:
    return true;
  default:
    return false;
  }
}

void list_view_ctrl::tick(HWND window) {
  const POINT step = autoscroll_.next_step();
  const int dpi = screen_dpi();
  const int lines_x = take_whole_lines(step.x, dpi > 0 ? MulDiv(unit_x, dpi, 96) : 0, line_rest_x_);
  const int lines_y = take_whole_lines(step.y, dpi > 0 ? MulDiv(unit_y, dpi, 96) : 0, line_rest_y_);
  scroll_lines(window, WM_HSCROLL, lines_x);
  scroll_lines(window, WM_VSCROLL, lines_y);
}

bool list_view_ctrl::process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                                     DWORD) {
  switch (message) {
  case WM_MBUTTONDOWN:
  case WM_MBUTTONDBLCLK:
    autoscroll_.on_middle_click(window, lparam);
    result = 0;
    return true;
  case WM_MBUTTONUP:
    if (autoscroll_.active()) ReleaseCapture();
    result = 0;
    return true;
  case WM_MOUSEMOVE:
    if (autoscroll_.active()) {
      result = 0;
      return true;
    }
    break;
  case WM_TIMER:
    if (wparam == autoscroll_session::timer_id) {
      tick(window);
      result = 0;
      return true;
    }
    break;
  case WM_CAPTURECHANGED:
    autoscroll_.stop(window);
    line_rest_x_ = line_rest_y_ = 0;
    break;
  case WM_DESTROY:
    autoscroll_.destroy_marker();
    break;
  default:
    // Ending by releasing the capture: WM_CAPTURECHANGED cleans up, and the
    // click still reaches the list.
    if (autoscroll_.active() && is_other_mouse_button_message(message)) ReleaseCapture();
    break;
  }
  return owner_ != nullptr && owner_->process_message(window, message, wparam, lparam, result, map_id_);
}
