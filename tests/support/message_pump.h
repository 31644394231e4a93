// Pumping the test's main thread the way the program's message loop does:
// window messages (modeless dialogs first) and the main-thread queue.
#pragma once

#include <windows.h>

#include <functional>

#include "core/dialog_registry.h"
#include "core/main_thread_queue.h"

// Pumps until `condition` holds; false when `give_up_ms` passed first (the
// bound only keeps a broken test from hanging the suite).
// Each message is first offered to `offer`, which answers whether it took it.
inline bool pump_until_offering(const std::function<bool(MSG&)>& offer, const std::function<bool()>& condition,
                                DWORD give_up_ms = 15000) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > give_up_ms) return false;
    MSG message;
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (!offer(message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    } else {
      main_thread_queue::drain(false);
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
  }
  return true;
}

inline bool pump_until(const std::function<bool()>& condition, DWORD give_up_ms = 15000) {
  return pump_until_offering([](MSG& message) { return dialog_registry_offer(message); }, condition, give_up_ms);
}

// Handles every message already waiting, then returns.
inline void pump_pending() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (!dialog_registry_offer(message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}
