// zorv.exe: the Unicode GUI entry point.
#include <windows.h>

#include "core/app_state.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR command_line, int show) {
  return app_entry(instance, previous, command_line, show);
}
