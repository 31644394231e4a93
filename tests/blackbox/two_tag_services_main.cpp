// A build of the player with one tag service too many, as a damaged or mixed
// installation would have: start-up must refuse to run.
#include <windows.h>

#include "core/app_state.h"
#include "core/service_factory.h"
#include "core/tag_service.h"

namespace {
class extra_tag_service : public tag_service {
public:
  void read(vantrel_io::file_object&, track_info&, const abort_signal&) override {}
  void write(vantrel_io::file_object&, const track_info&, unsigned, const abort_signal&) override {}
  bool can_hold_info(const track_info&) override { return false; }
  void reduce_to_id3v1(track_info&) override {}
  void read_ex(vantrel_io::file_object&, track_info&, std::uint64_t&, const abort_signal&) override {}
  void remove(vantrel_io::file_object&, const abort_signal&) override {}
};
service_factory_single_t<extra_tag_service> extra_tag_service_registration;
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR command_line, int show) {
  return app_entry(instance, previous, command_line, show);
}
