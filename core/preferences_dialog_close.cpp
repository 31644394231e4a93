// After the message loop the core closes a preferences dialog left open.
#include "core/preferences_window_source.h"
#include "core/service_registry.h"
#include "core/startup_services.h"

namespace preferences_dialog {
void destroy_if_open() {
  for (auto& source : service_list_t<preferences_window_source>()) {
    const HWND window = source->open_window();
    if (window != nullptr && IsWindow(window)) DestroyWindow(window);
  }
}
}  // namespace preferences_dialog
