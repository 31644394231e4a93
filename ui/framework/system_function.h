// Functions that only some systems have (touch, gestures), looked up at run
// time so that the program still starts where they are missing.
#pragma once

#include <windows.h>

// Null when the module is not loaded or lacks the function.
template <class Function>
Function find_system_function(const wchar_t* module_name, const char* function_name) noexcept {
  const HMODULE module = GetModuleHandleW(module_name);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, function_name)));
}
