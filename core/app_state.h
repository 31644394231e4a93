// Process-wide state of the application, written on the main thread during
// start-up and shutdown.
#pragma once

#include <windows.h>

#include "core/playback_control.h"
#include "foundation/string_small.h"

namespace app {

struct process_state {
  bool quiet = false;                  // "/quiet": no user interface, no loop, no message boxes
  bool portable_config = false;        // configuration marker beside the program
  bool portable_library = false;       // library marker beside the program
  bool profile_read_only = false;      // no lock file, no saving, no crash dumps
  bool exit_requested = false;         // an exit was requested; no user interface is created
  bool quitting = false;               // shutdown has begun or was requested
  bool restart_requested = false;      // start the program again after shutdown
  bool reset_config_on_restart = false;
  bool registry_ready = false;         // the service registry is built
  HINSTANCE instance_handle = nullptr;
  qiv::string_small program_path;      // the program file, full path
  qiv::string_small program_folder;    // with a trailing separator
  qiv::string_small profile_path;      // "file://" + folder, no trailing backslash
  HWND ui_main_window = nullptr;
  service_ptr<playback_front_api> playback_control;  // from start-up step 17 to shutdown
  HANDLE lock_file = INVALID_HANDLE_VALUE;
};

process_state& state();

// Exit (0), restart (1) or restart with the configuration reset (2). Main
// thread only. Answers false when the close confirmation or a quit-approval
// service refused, true when the quit was posted.
bool request_exit(int kind);

} // namespace app

namespace profile {
// The profile folder as a "file://" path, "" before it is known.
const char* get_path();
} // namespace profile

// The main window's hook for the end of the Windows session. Answers whether
// it handled the message; `result` then holds the answer for Windows.
bool session_end_handler(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

// The process entry body and the start-up/loop/shutdown; both return the exit code.
int app_entry(HINSTANCE instance, HINSTANCE previous, const wchar_t* command_line, int show);
int app_startup(HINSTANCE instance);
