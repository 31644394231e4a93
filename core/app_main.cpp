// zorv.exe: the Unicode GUI entry point.
#include <windows.h>

#include "core/app_state.h"
#include "foundation/process_end.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR command_line, int show) {
  // Start-up's teardown has shut everything of the player down in order and
  // saved the stores; a decoder's thread stuck in a system library, or the
  // system's own, must not keep the process (and its profile) after that.
  qiv::end_process_now(app_entry(instance, previous, command_line, show));
}
