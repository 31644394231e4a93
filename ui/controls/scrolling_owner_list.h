// The owner-drawn list of the main window with middle-button scrolling: a
// middle click anchors a marker under the pointer, and until the mouse
// capture ends the list glides towards the pointer, faster with distance.
#pragma once

#include "ui/controls/owner_list.h"
#include "ui/framework/autoscroll_marker.h"

class scrolling_owner_list final : public owner_list {
public:
  static constexpr UINT_PTR autoscroll_timer_id = 0x389675F8;
  static constexpr UINT autoscroll_period_ms = 15;

  using owner_list::owner_list;

  bool autoscroll_active() const noexcept { return autoscroll_active_; }
  HWND marker_window() const noexcept { return marker_.handle(); }

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD map_id) override;

private:
  void start(HWND window, POINT client_point);
  void tick();

  bool autoscroll_active_ = false;
  POINT origin_ = {};
  double carry_x_ = 0.0, carry_y_ = 0.0;
  autoscroll_marker marker_;
};
