#include "ui/controls/scrolling_owner_list.h"

#include "ui/framework/autoscroll_speed.h"
#include "ui/framework/window_utilities.h"

void scrolling_owner_list::start(HWND window, POINT client_point) {
  SetFocus(window);
  POINT origin = client_point;
  ClientToScreen(window, &origin);
  ReleaseCapture();
  marker_.create(window);
  SetCursor(LoadCursorW(nullptr, IDC_SIZEALL));
  autoscroll_active_ = true;
  origin_ = origin;
  carry_x_ = carry_y_ = 0.0;
  SetCapture(window);
  SetTimer(window, autoscroll_timer_id, autoscroll_period_ms, nullptr);
  marker_.show_at(origin_);
}

void scrolling_owner_list::tick() {
  const DWORD position = GetMessagePos();
  const int dx = static_cast<short>(LOWORD(position)) - origin_.x;
  const int dy = static_cast<short>(HIWORD(position)) - origin_.y;
  if (dx == 0 && dy == 0) return;  // the carries stay for when it moves again
  const autoscroll_velocity v = autoscroll_pixels_per_tick(dx, dy, screen_dpi());
  const int step_x = take_whole_pixels(v.x, carry_x_);
  const int step_y = take_whole_pixels(v.y, carry_y_);
  const POINT scroll = scroll_position();
  scroll_to(scroll.x + step_x, scroll.y + step_y);
}

bool scrolling_owner_list::process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                                           DWORD map_id) {
  result = 0;
  switch (message) {
  case WM_TIMER:
    if (wparam != autoscroll_timer_id) break;
    if (autoscroll_active_) tick();
    return true;
  case WM_CAPTURECHANGED:
    if (autoscroll_active_) {
      autoscroll_active_ = false;
      KillTimer(window, autoscroll_timer_id);
      marker_.hide();
    } else {
      owner_list::process_message(window, message, wparam, lparam, result, map_id);
    }
    result = 0;
    return true;
  case WM_MBUTTONDOWN:
  case WM_MBUTTONDBLCLK:
    if (autoscroll_active_)
      ReleaseCapture();
    else
      start(window, {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))});
    return true;
  case WM_MBUTTONUP:
    if (autoscroll_active_) ReleaseCapture();
    return true;
  case WM_LBUTTONDOWN:
  case WM_LBUTTONUP:
  case WM_LBUTTONDBLCLK:
  case WM_RBUTTONDOWN:
  case WM_RBUTTONUP:
  case WM_RBUTTONDBLCLK:
  case WM_XBUTTONDOWN:
  case WM_XBUTTONUP:
  case WM_XBUTTONDBLCLK:
    // The click ends the mode and still acts on the list.
    if (autoscroll_active_) ReleaseCapture();
    break;
  case WM_MOUSEMOVE:
    if (autoscroll_active_) return true;
    break;
  case WM_DESTROY:
    if (marker_.handle() != nullptr) DestroyWindow(marker_.handle());
    break;
  default:
    break;
  }
  return owner_list::process_message(window, message, wparam, lparam, result, map_id);
}
