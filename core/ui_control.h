// The handle through which the lower layers reach the user interface without
// depending on it; the user interface registers the one implementation.
#pragma once

#include "core/service_object.h"

class ui_control : public service_object {
public:
  static constexpr GUID class_guid = {0x2DC57FF7, 0x476D, 0x42F5, {0xA0, 0x5A, 0x60, 0x49, 0x98, 0x96, 0x13, 0x4A}};
  using service_parent = service_object;

  // Opens the preferences dialog at `page`; the null GUID leaves the choice
  // of page to the dialog.
  virtual void show_preferences(const GUID& page) = 0;
};
