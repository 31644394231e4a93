// Opening locations handed over from outside (the command line, a second
// start): the navigation layer sits above the core, so the core reaches it
// through the registry.
#pragma once

#include <windows.h>

#include "core/command_line_processing.h"
#include "core/service_object.h"

class location_opener : public service_object {
public:
  static constexpr GUID class_guid = {0x5B8E2C41, 0x9D37, 0x4F6A, {0xA1, 0x0C, 0x73, 0xE2, 0x48, 0xB5, 0x1D, 0x96}};
  using service_parent = service_object;

  virtual void open_locations(HWND main_window, const command_line_items& items) = 0;

protected:
  ~location_opener() = default;
};
