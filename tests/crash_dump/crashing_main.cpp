// A build of the player that fails on request once it is fully started:
// "/crash" touches memory that does not exist.
#include <windows.h>

#include <cstdint>

#include "core/app_state.h"
#include "core/command_line_handler.h"
#include "core/service_factory.h"
#include "tests/support/sample_tag_service.h"

namespace {

class crash_on_request : public command_line_handler {
public:
  result process_option(const char* option) override {
    if (lstrcmpA(option, "/crash") == 0) {
      // An address read at run time, so the compiler cannot see the fault coming.
      volatile std::uintptr_t nowhere = 0x10;
      *reinterpret_cast<volatile int*>(nowhere) = 1;
    }
    return not_handled;
  }
  void process_parameter(const char*) override {}
  void end_option() override {}
  bool wants_folders_whole() override { return false; }
};

service_factory_single_t<crash_on_request> crash_on_request_registration;
// Start-up insists on one trailing-tag service; the player's own lives in a
// layer this build leaves out.
service_factory_single_t<sample_tag_service> tag_service_registration;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR command_line, int show) {
  return app_entry(instance, previous, command_line, show);
}
