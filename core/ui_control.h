// The handle through which the lower layers reach the user interface without
// depending on it; the user interface registers the one implementation.
#pragma once

#include <windows.h>

#include "core/service_object.h"

class ui_control : public service_object {
public:
  static constexpr GUID class_guid = {0x2DC57FF7, 0x476D, 0x42F5, {0xA0, 0x5A, 0x60, 0x49, 0x98, 0x96, 0x13, 0x4A}};
  using service_parent = service_object;
  // The program icon's resource.
  static constexpr int program_icon = 263;

  // Without a user interface (before start-up chose one, and with "/quiet")
  // nothing is visible and the window operations do nothing.
  virtual bool is_visible() = 0;
  virtual void activate() = 0;
  virtual void hide() = 0;
  // The program icon: the shared one at the system size, or one the caller
  // owns (DestroyIcon) at the given size. Null when the program carries none.
  virtual HICON get_icon() = 0;
  virtual HICON get_icon_sized(int width, int height) = 0;
  // Opens the preferences dialog at `page`; the null GUID leaves the choice
  // of page to the dialog.
  virtual void show_preferences(const GUID& page) = 0;
};
