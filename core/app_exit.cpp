// Exit and restart requests, and the answer to the end of a Windows session.
#include <windows.h>

#include "core/app_state.h"
#include "core/close_confirmation.h"
#include "core/profile_folder.h"
#include "core/progress_dialog.h"
#include "core/shutdown_approval.h"
#include "core/startup_services.h"

namespace app {

process_state& state() {
  static process_state instance;
  return instance;
}

bool request_exit(int kind) {
  if (!app_close_confirm()) return false;
  if (!shutdown_approval::query_all()) return false;
  process_state& s = state();
  if (kind == 1 || kind == 2) s.restart_requested = true;
  if (kind == 2) s.reset_config_on_restart = true;
  s.quitting = true;
  s.exit_requested = true;
  if (s.ui_main_window != nullptr) PostMessageW(s.ui_main_window, WM_QUIT, 0, 0);
  else PostQuitMessage(0);
  return true;
}

}  // namespace app

namespace profile {
const char* get_path() { return app::state().profile_path.get_ptr(); }
}  // namespace profile

bool session_end_handler(HWND, UINT message, WPARAM, LPARAM, LRESULT& result) {
  app::process_state& s = app::state();
  switch (message) {
  case WM_QUERYENDSESSION:
    if (s.registry_ready) {
      if (!app_close_confirm()) {
        result = FALSE;  // the user wants to keep working: refuse the session end
        return true;
      }
      progress_dialog::abort_all();
      service_registry::save_stores(false);
      if (s.playback_control) s.playback_control->stop_for_shutdown();
    }
    release_profile_lock(s);
    result = TRUE;
    return true;
  case WM_ENDSESSION:
    result = 1;
    return false;
  default:
    return false;
  }
}
