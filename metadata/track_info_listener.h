// Telling the rest of the program that the cached info of tracks changed:
// every track_info_listener service (the media library, the playback front
// end) and every registered change callback hears of it.
#pragma once

#include <cstdint>
#include <vector>

#include "core/service_object.h"
#include "core/service_registry.h"
#include "metadata/track_handle.h"

class track_info_listener : public service_object {
public:
  static constexpr GUID class_guid = {0xD5286BB4, 0xFDED, 0x47EF, {0xA6, 0x23, 0x4C, 0x3F, 0xF0, 0x56, 0xDE, 0xC1}};
  using service_parent = service_object;

  // `flag` is 1 when the change came from writing tags, 0 otherwise.
  virtual void on_info_changed(const track_handle_list& handles, std::uint8_t flag) = 0;
};

// A callback registered at run time rather than as a service.
class track_info_change_callback {
public:
  virtual void on_info_changed(const track_handle_list& handles, std::uint8_t flag) = 0;

protected:
  ~track_info_change_callback() = default;
};

// Main thread only. Registering a callback twice is the same as once.
void track_info_changed_register(track_info_change_callback& callback);
void track_info_changed_unregister(track_info_change_callback& callback);

// Delivers `handles` with each handle once, first to the listener services of
// `table`, then to the callbacks. An empty list reaches no one.
void track_info_publish(const track_handle_list& handles, std::uint8_t flag,
                        const service_registry_table& table = service_registry::table());
