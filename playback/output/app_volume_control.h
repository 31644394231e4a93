// The program's own volume on an output endpoint (the one the system's
// volume mixer shows for it), in dB, with changes made in the mixer reported
// back. When the default device is used, the control follows the system's
// default device, keeping its volume.
#pragma once

#include <windows.h>

#include "core/service_object.h"

class app_volume_listener {
public:
  // Main thread: a change made outside the program.
  virtual void on_volume_change(float decibels) = 0;

protected:
  ~app_volume_listener() = default;
};

class app_volume_control : public service_object {
public:
  static constexpr GUID class_guid = {0x8EC89AE3, 0x5117, 0x4CDB, {0x80, 0x5B, 0xA6, 0x31, 0x55, 0x31, 0x03, 0x03}};
  using service_parent = service_object;

  virtual void add_listener(app_volume_listener* listener) = 0;
  virtual void remove_listener(app_volume_listener* listener) = 0;
  // -100 for silence.
  virtual float get_volume() = 0;
  virtual void set_volume(float decibels) = 0;

protected:
  ~app_volume_control() = default;
};

// Builds the control for a DirectSound device GUID (null: the default device,
// followed when it changes). Throws on any failure.
service_ptr<app_volume_control> create_app_volume_control(const GUID& device);
