#include "core/user_interface.h"

#include "core/app_exceptions.h"
#include "core/app_state.h"
#include "core/hidden_main_window.h"
#include "core/service_registry.h"

namespace {
service_ptr<user_interface>& current_module() {
  static service_ptr<user_interface> module;
  return module;
}
}  // namespace

HWND user_interface_start() {
  service_ptr<user_interface> chosen;
  for (auto& module : service_list_t<user_interface>()) {
    if (module->get_guid() == user_interface::zorv_module_guid) {
      chosen = module;
      break;
    }
  }
  if (!chosen) throw exception_messagebox("No user interface modules installed");
  // Media keys that the shell hands out reach the program through the hidden window.
  hidden_main_window::register_shell_hook();
  const HWND window = chosen->init(session_end_handler);
  if (window == nullptr) throw exception_messagebox("Failed to initialize user interface, exiting.");
  current_module() = chosen;
  return window;
}

service_ptr<user_interface> current_user_interface() { return current_module(); }

void release_current_user_interface() { current_module().reset(); }
