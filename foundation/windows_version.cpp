#include "foundation/windows_version.h"

#include <windows.h>

bool is_windows_vista_or_later() {
  const DWORD version = GetVersion();
  const unsigned major = LOBYTE(LOWORD(version));
  const unsigned minor = HIBYTE(LOWORD(version));
  return major * 256 + minor >= 0x600;
}

bool is_wine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
