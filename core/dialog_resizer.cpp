#include "core/dialog_resizer.h"

namespace dialog_resizer {

bool process_message(dialog_layout& layout, HWND window, UINT message, LPARAM lparam, LRESULT& result) {
  switch (message) {
  case WM_INITDIALOG:
    layout.init(window);
    return false;
  case WM_SIZE:
    layout.handled = TRUE;
    // Both halves are signed 16-bit values, as for every coordinate pair
    // packed into an l-parameter.
    layout.apply(static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam)));
    result = 0;
    return true;
  case WM_GETMINMAXINFO:
    layout.handled = TRUE;
    if (lparam != 0) layout.limit_track_size(*reinterpret_cast<MINMAXINFO*>(lparam));
    result = 0;
    return true;
  case WM_DESTROY:
    // The window handles die with the dialog; a layout kept for a later
    // dialog must not reach them.
    layout.dialog = nullptr;
    layout.size_grip = nullptr;
    layout.handled = FALSE;
    result = 0;
    return false;
  default:
    return false;
  }
}

}  // namespace dialog_resizer

bool resizable_dialog::process_message(HWND window, UINT message, LPARAM lparam, LRESULT& result) {
  const BOOL layout_handled = layout.handled;
  const BOOL placement_handled = placement.handled;
  const bool consumed = dialog_resizer::process_message(layout, window, message, lparam, result) ||
                        placement.on_message(window, message, lparam, result);
  layout.handled = layout_handled;
  placement.handled = placement_handled;
  return consumed;
}
