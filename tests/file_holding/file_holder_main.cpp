// Test helper: file_holder PATH MILLISECONDS EVENT-NAME
// Opens PATH without sharing, signals the named event once it holds the file,
// keeps it for MILLISECONDS, then closes it.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  const HANDLE file = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  // Made when the caller has not (a script that only waits a moment).
  const HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, argv[3]);
  if (file == INVALID_HANDLE_VALUE || ready == nullptr) return 3;
  SetEvent(ready);
  Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
  return 0;
}
