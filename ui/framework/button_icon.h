// Push-button icons made from the PNG images in the program's resources,
// sized to the button.
#pragma once

#include <windows.h>

// The icon a dialog keeps for one of its buttons; destroyed with the dialog.
class icon_slot {
public:
  icon_slot() noexcept = default;
  ~icon_slot() { reset(nullptr); }
  icon_slot(const icon_slot&) = delete;
  icon_slot& operator=(const icon_slot&) = delete;

  HICON get() const noexcept { return icon_; }
  // Destroys the held icon, then holds this one.
  void reset(HICON icon) noexcept;

private:
  HICON icon_ = nullptr;
};

// Three quarters (truncated) of the smaller of the button's client width
// and height, at least 8 pixels; icons are square.
SIZE button_icon_size(HWND button) noexcept;

// The PNG resource (type "PNG") of the program decoded and drawn at the size
// with high-quality interpolation. A missing resource throws
// qiv::exception_bug_check; a failing GDI+ step exception_gdiplus. Needs a
// gdiplus_session.
HICON icon_from_png_resource(int resource_id, int width, int height);

// Makes the slot's icon at the button's icon size when the slot is empty,
// then shows it on the button.
void set_button_png_icon(HWND button, int resource_id, icon_slot& slot);
