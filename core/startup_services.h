// What start-up and shutdown call of the other subsystems. Each of these is
// implemented by its own subsystem; until that subsystem exists, a minimal
// stand-in in core/startup_standins.cpp answers for it.
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

namespace lifecycle_callbacks {
void on_init();
void on_quit();
}

namespace playback_order {
void shutdown();
}

namespace media_library {
void startup_folders();
void shutdown();
}

namespace preferences_dialog {
void destroy_if_open();
}

