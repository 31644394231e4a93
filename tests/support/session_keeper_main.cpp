// Holds a Wine session's desktop open for as long as the session runs.
//
// Wine closes a desktop a few seconds after its last program ends and starts
// it anew for the next program that needs one. The desktop process then
// inherits that program's output pipes and keeps them open until the session
// goes idle, so a test reading the program's output waits for the whole run.
// Started with no pipes of a test, this program keeps the first desktop in use.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // A top-level window, never shown: it attaches the process to the desktop.
  if (!CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr)) return 1;
  // Sent messages (broadcasts from the tests) are answered while it waits.
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}
