// Test helper: file_holder PATH MILLISECONDS EVENT-NAME
// Opens PATH without sharing, signals the named event once it holds the file,
// keeps it for MILLISECONDS, then closes it. Exit code 0 on success.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  const HANDLE file = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  const HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
  if (ready == nullptr) return 4;
  SetEvent(ready);
  CloseHandle(ready);
  Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
  CloseHandle(file);
  return 0;
}
