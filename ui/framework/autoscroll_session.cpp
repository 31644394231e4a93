#include "ui/framework/autoscroll_session.h"

#include "ui/framework/autoscroll_speed.h"
#include "ui/framework/window_utilities.h"

void autoscroll_session::start(HWND window, POINT screen_origin) {
  ReleaseCapture();
  marker_.create(window);
  SetCursor(LoadCursorW(nullptr, IDC_SIZEALL));
  active_ = true;
  origin_ = screen_origin;
  carry_x_ = carry_y_ = 0.0;
  SetCapture(window);
  SetTimer(window, timer_id, period_ms, nullptr);
  marker_.show_at(origin_);
}

void autoscroll_session::on_middle_click(HWND window, LPARAM client_point) {
  if (active_) {
    ReleaseCapture();
    return;
  }
  SetFocus(window);
  POINT origin = {static_cast<short>(LOWORD(client_point)), static_cast<short>(HIWORD(client_point))};
  ClientToScreen(window, &origin);
  start(window, origin);
}

void autoscroll_session::stop(HWND window) {
  if (!active_) return;
  active_ = false;
  KillTimer(window, timer_id);
  marker_.hide();
}

POINT autoscroll_session::next_step() {
  const DWORD position = GetMessagePos();
  const int dx = static_cast<short>(LOWORD(position)) - origin_.x;
  const int dy = static_cast<short>(HIWORD(position)) - origin_.y;
  if (dx == 0 && dy == 0) return {0, 0};
  const autoscroll_velocity v = autoscroll_pixels_per_tick(dx, dy, screen_dpi());
  return {take_whole_pixels(v.x, carry_x_), take_whole_pixels(v.y, carry_y_)};
}

void autoscroll_session::destroy_marker() {
  if (marker_.handle() != nullptr) DestroyWindow(marker_.handle());
}
