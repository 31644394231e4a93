// What start-up and shutdown call of the other subsystems. Subsystems above
// the core are reached through services they register.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/service_registry.h"

namespace crash_handler {
void install();  // unhandled-exception filter
}

namespace localisation {
void load(std::uint32_t language_id);  // 0: by the user's UI language
}

// Every registered app_lifecycle_callback, in the registry's order.
namespace lifecycle_callbacks {
void on_init();
void on_quit();
}

namespace playback_order {
void shutdown();
}

// The media library's part in start-up and shutdown. The library layer sits
// above the core, so start-up reaches it through the registry; without a
// library (core-only programs) both calls do nothing.
class library_lifecycle : public service_object {
public:
  static constexpr GUID class_guid = {0x3F1C9B52, 0x7A0E, 0x4D83, {0x9B, 0x61, 0x2E, 0xC4, 0x58, 0x0D, 0x97, 0xA3}};
  using service_parent = service_object;

  // Builds the folder list and starts reading the library file on a worker
  // (which the library's first use waits for).
  virtual void startup_folders() = 0;
  // After the user interface and the main-thread queue are done.
  virtual void shutdown() = 0;
};

namespace library_startup {
void startup_folders();
void shutdown();
}

// Destroys the preferences dialog's window when it is still open.
namespace preferences_dialog {
void destroy_if_open();
}

