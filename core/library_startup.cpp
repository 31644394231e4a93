// Start-up and shutdown reach the media library through its registered
// lifecycle service.
#include "core/service_registry.h"
#include "core/startup_services.h"

namespace library_startup {
namespace {
template <class Call>
void with_library(Call call) {
  service_enumerator walk(service_registry::table().find_class(library_lifecycle::class_guid));
  service_handle service;
  while (walk.next(service)) call(*static_cast<library_lifecycle*>(service.get()));
}
}  // namespace
void startup_folders() {
  with_library([](library_lifecycle& library) { library.startup_folders(); });
}
void shutdown() {
  with_library([](library_lifecycle& library) { library.shutdown(); });
}
}  // namespace library_startup
