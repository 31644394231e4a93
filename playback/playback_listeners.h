// Whatever follows playback (the now-playing display, the volume slider, the
// main window's buttons) registers a playback_listener with a mask of the
// events it wants. The registry keeps a copy of the playback state so that a
// late listener can be brought up to date at once, and stops the process
// when a listener tries to change playback or the list from inside an event.
#pragma once

#include <cstdint>
#include <vector>

#include "core/service_object.h"
#include "metadata/track_handle.h"

class track_info;

class playback_listener {
public:
  enum event_mask : std::uint32_t {
    mask_starting = 0x1,
    mask_new_track = 0x2,
    mask_stop = 0x4,
    mask_seek = 0x8,
    mask_pause = 0x10,
    mask_info_change = 0x20,
    mask_dynamic_track_info = 0x40,
    mask_dynamic_info = 0x80,
    mask_time = 0x100,
    mask_volume_change = 0x200,
  };
  enum stop_reason : std::uint32_t {
    stop_user = 0,
    stop_ended = 1,
    stop_new_start = 2,
    stop_shutdown = 3,
  };

  virtual void on_starting(std::uint32_t command, bool paused) { (void)command, (void)paused; }
  virtual void on_new_track(const track_handle_ptr& track) { (void)track; }
  virtual void on_stop(std::uint32_t reason) { (void)reason; }
  virtual void on_seek(double position) { (void)position; }
  virtual void on_pause(bool paused) { (void)paused; }
  virtual void on_info_change(const track_handle_ptr& track) { (void)track; }
  virtual void on_dynamic_track_info(const track_info& info) { (void)info; }
  virtual void on_dynamic_info(const track_info& info) { (void)info; }
  virtual void on_time(double seconds) { (void)seconds; }
  virtual void on_volume_change(float decibels) { (void)decibels; }

protected:
  ~playback_listener() = default;
};

// A listener built into a module as a service: registered with the mask it
// answers at the first start or volume change.
class playback_listener_service : public service_object {
public:
  static constexpr GUID class_guid = {0x8E4EED7A, 0xC6B8, 0x49C7, {0x99, 0xFE, 0x97, 0xE0, 0x4A, 0xAA, 0x63, 0xA8}};
  using service_parent = service_object;

  virtual std::uint32_t get_mask() = 0;
  virtual playback_listener& listener() = 0;

protected:
  ~playback_listener_service() = default;
};

// Main thread only, never from inside an event (the process stops).
namespace playback_listener_registry {

void add(playback_listener* listener, std::uint32_t mask, bool catch_up);
// A listener that is not registered is ignored.
void remove(playback_listener* listener);

// Raising events (the playback front end): each stores its state first, then
// calls the listeners whose mask has its bit, in registration order. An
// exception from a listener ends the dispatch and reaches the caller.
void raise_starting(std::uint32_t command, bool paused);
void raise_new_track(const track_handle_ptr& track);
void raise_stop(std::uint32_t reason);
void raise_seek(double position);
void raise_pause(bool paused);
void raise_info_change(const track_handle_ptr& track);
void raise_time(double seconds);
void raise_volume_change(float decibels);

// Whether a listener call is in progress (a control operation now is fatal).
bool dispatch_in_progress() noexcept;

}  // namespace playback_listener_registry
