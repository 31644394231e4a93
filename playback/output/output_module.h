// Output modules open output devices; the one module here, "DS", opens
// DirectSound devices. The playback thread gets an open device for the
// configured module and device through output_select; the main thread
// applies the user's volume to the program's own volume on the output
// endpoint where the system has one (Windows 6.0 and later).
#pragma once

#include <cstdint>

#include "core/service_object.h"
#include "foundation/win32_handles.h"
#include "playback/output/app_volume_control.h"
#include "playback/output/output_device.h"

// Receives each device of a module: its GUID (null for the system's
// default) and its UTF-8 description. Throwing ends the enumeration and the
// exception goes no further.
class output_device_enum_callback {
public:
  virtual void on_device(const GUID& device, const char* description, std::size_t length) = 0;

protected:
  ~output_device_enum_callback() = default;
};

class output_module : public service_object {
public:
  static constexpr GUID class_guid = {0xE7480B4F, 0x4941, 0x4DD2, {0xAD, 0xBF, 0x96, 0x6C, 0x76, 0x63, 0x43, 0x92}};
  using service_parent = service_object;

  // Replaces `out` with a new device; it opens its stream with the first block.
  virtual void instantiate(service_ptr<output_device>& out, const GUID& device, double buffer_seconds,
                           bool converter_option, int unused) = 0;
  virtual void enumerate_devices(output_device_enum_callback& callback) = 0;
  virtual GUID get_guid() = 0;
  virtual const char* get_name() = 0;
  // Bits the preferences page reads; their meaning is its own.
  virtual std::uint32_t get_flags() = 0;

protected:
  ~output_module() = default;
};

// Modules that can reach the program's volume on their device.
class output_module_v2 : public output_module {
public:
  static constexpr GUID class_guid = {0x84569AA6, 0xFF5B, 0x4A6A, {0x81, 0x73, 0x64, 0x63, 0xB5, 0xA9, 0x1E, 0xBD}};
  using service_parent = output_module;
  static constexpr bool service_is_extension = true;

  // False when the system or the device offers no program volume.
  virtual bool create_volume_control(const GUID& device, service_ptr<app_volume_control>& out) = 0;

protected:
  ~output_module_v2() = default;
};

// What the playback engine asks of output_select and gets back.
struct output_request {
  service_ptr<output_device> device;
  double volume = 0.0;  // dB
  bool paused = false;
  bool opened = false;
};

// Playback thread: opens a device of the configured module for the
// configured device with a 3 s buffer, sets the request's volume and pause.
// Throws exception_output_module_not_found ("Output module not found")
// when no module has the configured GUID.
void output_select(output_request& request);

namespace output_volume {

// Main thread: replaces the program-volume control by one for the
// configured module and device (none when impossible) and registers every
// volume listener with it.
void select_configured();
// The current control, or null: then the engine's stream carries the volume.
service_ptr<app_volume_control> current();
void apply_volume(float decibels);
// Whether the control's volume is heard. Wine keeps an audio session's
// volume but does not apply it to DirectSound streams: there the engine's
// stream carries the volume as well.
bool carries_volume();
void add_listener(app_volume_listener* listener);
void remove_listener(app_volume_listener* listener);
// Shutdown: the control goes before COM does.
void release();

} // namespace output_volume

// Guards the configured module and device GUIDs: the playback thread reads
// them under it, the preferences page changes them under it.
critical_section& output_configuration_lock() noexcept;
