#include "core/shutdown_approval.h"

#include "core/service_registry.h"

namespace shutdown_approval {

bool query_all() {
  service_enumerator walk(service_registry::find_class(quit_approval::class_guid));
  service_handle handle;
  while (walk.next(handle)) {
    if (!static_cast<quit_approval*>(handle.get())->may_quit_now()) return false;
  }
  return true;
}

}  // namespace shutdown_approval
