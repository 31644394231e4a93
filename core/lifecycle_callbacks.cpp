// Start-up and shutdown tell every registered app_lifecycle_callback.
#include "core/app_lifecycle_callback.h"
#include "core/service_registry.h"
#include "core/startup_services.h"

namespace lifecycle_callbacks {
void on_init() {
  for (auto& callback : service_list_t<app_lifecycle_callback>()) callback->on_init();
}
void on_quit() {
  for (auto& callback : service_list_t<app_lifecycle_callback>()) callback->on_quit();
}
}  // namespace lifecycle_callbacks
