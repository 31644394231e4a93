// The owner-drawn list of the main window with middle-button scrolling: a
// middle click anchors a marker under the pointer, and until the mouse
// capture ends the list glides towards the pointer, faster with distance.
#pragma once

#include "ui/controls/owner_list.h"
#include "ui/framework/autoscroll_session.h"

class scrolling_owner_list final : public owner_list {
public:
  using owner_list::owner_list;

  bool autoscroll_active() const noexcept { return autoscroll_.active(); }
  HWND marker_window() const noexcept { return autoscroll_.marker_window(); }

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD map_id) override;

private:
  autoscroll_session autoscroll_;
};
