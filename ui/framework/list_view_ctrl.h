// A system list view ("SysListView32") taken over so that the middle button
// scrolls it: while the button is held a marker sits at the press point and
// the list moves towards the pointer, faster the farther it is.
#pragma once

#include <windows.h>

#include "ui/framework/autoscroll_session.h"
#include "ui/framework/window_object.h"

class list_view_ctrl final : public window_object {
public:
  // Messages that autoscroll leaves go to `owner` under `map_id` (when
  // given), then to the list view itself.
  explicit list_view_ctrl(message_map* owner = nullptr, DWORD map_id = 0) noexcept : owner_(owner), map_id_(map_id) {}

  // Takes over an existing list view.
  bool attach_to(HWND list) { return subclass(list); }
  bool autoscroll_active() const noexcept { return autoscroll_.active(); }
  HWND marker_window() const noexcept { return autoscroll_.marker_window(); }

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD map_id) override;

private:
  void tick(HWND window);

  message_map* owner_;
  DWORD map_id_;
  autoscroll_session autoscroll_;
  // Pixels not yet turned into whole scroll lines.
  int line_rest_x_ = 0;
  int line_rest_y_ = 0;
};

// Scrolls a window by n lines through its scroll messages: whole pages of
// the bar's page size first, then single lines. Nothing when the bar has no
// page.
void scroll_lines(HWND window, UINT scroll_message, int lines);

// True for the press, release and double click of the left, right and X
// buttons: the clicks that end an autoscroll and still act.
bool is_other_mouse_button_message(UINT message) noexcept;
