// The popup of the main window's Volume button: one volume slider under the
// button. Dragging the slider, its keys or the mouse wheel anywhere set the
// playback volume at once; the slider follows volume changes made elsewhere.
// It closes when it loses activation or on Escape.
#pragma once

#include <windows.h>

#include "playback/playback_listeners.h"
#include "ui/framework/dialog_object.h"
#include "ui/framework/window_utilities.h"

class volume_popup final : public dialog_object, private playback_listener {
public:
  // Shows the popup with its top centre at `anchor` (screen coordinates)
  // and returns when it has closed. Runs its own message loop: a WM_QUIT
  // that arrives meanwhile closes the popup and is posted again for the
  // caller's loop. A popup that cannot be made throws exception_win32.
  static void run(HWND parent, POINT anchor);

  // The slider of the popup that is open, for tests; null when none is.
  static HWND open_slider() noexcept;

private:
  explicit volume_popup(POINT anchor) noexcept : anchor_(anchor) {}
  ~volume_popup() override;

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD map_id) override;
  void on_initialise();
  bool on_colour(HDC dc, LRESULT& result);
  void on_wheel(const MSG& message);
  void set_volume_from_slider();
  void on_volume_change(float decibels) override;
  void run_loop();

  POINT anchor_;
  HWND slider_ = nullptr;
  bool closing_ = false;
  bool updating_ = false;
  gdi_object_holder brush_;
  COLORREF brush_colour_ = CLR_INVALID;
};
