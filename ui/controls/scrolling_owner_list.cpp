#include "ui/controls/scrolling_owner_list.h"

#include "ui/framework/list_view_ctrl.h"

bool scrolling_owner_list::process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                                           DWORD map_id) {
  result = 0;
  switch (message) {
  case WM_TIMER:
    if (wparam != autoscroll_session::timer_id) break;
    if (autoscroll_.active()) {
      const POINT step = autoscroll_.next_step();
      const POINT scroll = scroll_position();
      if (step.x != 0 || step.y != 0) scroll_to(scroll.x + step.x, scroll.y + step.y);
    }
    return true;
  case WM_CAPTURECHANGED:
    if (autoscroll_.active())
      autoscroll_.stop(window);
    else
      owner_list::process_message(window, message, wparam, lparam, result, map_id);  // a drag loses the mouse
    result = 0;
    return true;
  case WM_MBUTTONDOWN:
  case WM_MBUTTONDBLCLK:
    autoscroll_.on_middle_click(window, lparam);
    return true;
  case WM_MBUTTONUP:
    if (autoscroll_.active()) ReleaseCapture();
    return true;
  case WM_MOUSEMOVE:
    if (autoscroll_.active()) return true;
    break;
  case WM_DESTROY:
    autoscroll_.destroy_marker();
    break;
  default:
    // The click ends the mode and still acts on the list.
    if (autoscroll_.active() && is_other_mouse_button_message(message)) ReleaseCapture();
    break;
  }
  return owner_list::process_message(window, message, wparam, lparam, result, map_id);
}
