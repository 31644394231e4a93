// The preferences dialog belongs to the user interface, above the core; the
// core finds its window through this service to close it after the message
// loop, before anything it shows is shut down.
#pragma once

#include <windows.h>

#include "core/service_object.h"

class preferences_window_source : public service_object {
public:
  static constexpr GUID class_guid = {0x5E0A3C71, 0x2B94, 0x4F6D, {0x8E, 0x13, 0x7C, 0xA9, 0x40, 0x5B, 0xD2, 0x86}};
  using service_parent = service_object;

  // The open dialog's window, or null.
  virtual HWND open_window() = 0;
};
