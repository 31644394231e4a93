// One middle-button autoscroll of a window, from the press to the loss of
// the mouse capture: the origin, its marker, the timer and the fractions
// carried between ticks. The lists that scroll this way own one each.
#pragma once

#include <windows.h>

#include "ui/framework/autoscroll_marker.h"

class autoscroll_session {
public:
  static constexpr UINT_PTR timer_id = 0x389675F8;
  static constexpr UINT period_ms = 15;

  bool active() const noexcept { return active_; }
  HWND marker_window() const noexcept { return marker_.handle(); }

  // Captures the mouse to `window`, starts the timer and shows the marker at
  // the screen point.
  void start(HWND window, POINT screen_origin);
  // A middle click at a client point: ends a running autoscroll (by giving
  // up the capture), else takes the keyboard focus and starts one there.
  void on_middle_click(HWND window, LPARAM client_point);
  // After the capture is gone: stops the timer and hides the marker.
  void stop(HWND window);
  // Whole pixels to move this tick towards the pointer of the current
  // message, fractions carried; (0, 0) on the origin, carries kept.
  POINT next_step();
  void destroy_marker();

private:
  bool active_ = false;
  POINT origin_ = {};
  double carry_x_ = 0.0;
  double carry_y_ = 0.0;
  autoscroll_marker marker_;
};
