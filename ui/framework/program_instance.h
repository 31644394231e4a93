// The module the program's window classes and resources belong to: the one
// start-up recorded, or the executable itself where nothing was recorded
// (tests).
#pragma once

#include <windows.h>

#include "core/app_state.h"

inline HINSTANCE program_instance() {
  const HINSTANCE instance = app::state().instance_handle;
  return instance != nullptr ? instance : GetModuleHandleW(nullptr);
}
