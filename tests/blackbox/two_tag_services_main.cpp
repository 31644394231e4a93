// A build of the player with one tag service too many, as a damaged or mixed
// installation would have: start-up must refuse to run.
#include <windows.h>

#include "core/app_state.h"
#include "core/service_factory.h"
#include "tests/support/sample_tag_service.h"

namespace {
// Two of them: the player's own trailing-tag service lives in a layer this
// build leaves out, as the cut-down builds of the black-box tests do.
service_factory_single_t<sample_tag_service> first_tag_service_registration;
class extra_tag_service : public sample_tag_service {};
service_factory_single_t<extra_tag_service> extra_tag_service_registration;
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR command_line, int show) {
  return app_entry(instance, previous, command_line, show);
}
