#include "core/playback_control.h"

#include "core/service_registry.h"

service_ptr<playback_front_api> playback_front_get_control() {
  service_ptr<playback_front> front = service_lookup_unique_t<playback_front>();
  return service_query_required<playback_front_api>(front.get());
}
