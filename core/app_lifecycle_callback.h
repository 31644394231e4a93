// Code that wants to run once the program has started (after the user
// interface and the command line) and once as it quits (after the stores are
// saved) registers an app_lifecycle_callback. Every registered one is called,
// in the registry's order.
#pragma once

#include "core/service_object.h"

class app_lifecycle_callback : public service_object {
public:
  static constexpr GUID class_guid = {0x113773C4, 0xB387, 0x4B48, {0x8B, 0xDF, 0xAB, 0x58, 0xBC, 0x6C, 0xE5, 0x38}};
  using service_parent = service_object;

  virtual void on_init() = 0;
  virtual void on_quit() = 0;
};
