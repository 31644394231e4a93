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

namespace single_instance {
bool check();  // true: this is the first instance for the profile
void process_own_command_line();
void destroy();
}

namespace separator_control {
void register_class();
}

namespace lifecycle_callbacks {
void on_init();
void on_quit();
}

namespace hidden_main_window {
void create();
void destroy();
}

namespace main_thread_queue {
void drain();
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

namespace message_loop {
int run();  // until WM_QUIT; its wParam is the exit code
}

namespace close_confirmation {
bool query();  // false when the user declined to quit
}

namespace shutdown_approval {
bool query_all();
}

namespace modal_scope_guard {
void enter();
void leave();
}
