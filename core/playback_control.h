// What start-up and shutdown need of playback: the front end's control
// interface, answered by the static playback front end object.
#pragma once

#include "core/service_object.h"

class playback_front : public service_object {
public:
  static constexpr GUID class_guid = {0xBF803668, 0x2977, 0x4C71, {0xB9, 0xAB, 0x5C, 0x77, 0xC3, 0x38, 0xC9, 0x70}};
  using service_parent = service_object;
};

class playback_front_api : public playback_front {
public:
  static constexpr GUID class_guid = {0x917F4EFD, 0x9B9B, 0x4947, {0xB0, 0x64, 0x7D, 0x47, 0xF1, 0x2A, 0x22, 0x87}};
  using service_parent = playback_front;
  static constexpr bool service_is_extension = true;

  // Start-up: selects the output, applies the volume, creates the engine.
  virtual void on_init() = 0;
  // Shutdown: releases the order, the engine and the output.
  virtual void on_quit() = 0;
  // Stops playback at shutdown or at the end of the Windows session.
  virtual void stop_for_shutdown() = 0;
};

// The control interface of the one playback front end; throws
// exception_service_extension_not_found when the front end lacks it.
service_ptr<playback_front_api> playback_front_get_control();
