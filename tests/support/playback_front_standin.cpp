// For test programs built from the application core alone: a playback front
// end that plays nothing, so that start-up and shutdown run as in the player
// without the playback layer.
#include "core/playback_control.h"
#include "core/service_factory.h"
#include "core/startup_services.h"

namespace {
class playback_front_standin : public playback_front_api {
public:
  void on_init() override {}
  void on_quit() override {}
  void stop_for_shutdown() override {}
};
service_factory_single_t<playback_front_standin> playback_front_registration;
}  // namespace

namespace playback_order {
void shutdown() {}
}
