#include "core/hidden_main_window.h"

#include <atomic>

#include "core/app_state.h"
#include "core/callback_guard.h"
#include "core/main_thread_guard.h"
#include "core/main_thread_queue.h"
#include "core/media_keys.h"
#include "foundation/win32_error.h"
#include "foundation/win32_text.h"

namespace {

// Registered before the window is made, so that the window procedure never
// needs to ask for it while messages arrive; not during static
// initialisation, which would load the window libraries into every program
// that links this file, console tools included.
UINT registered_shell_hook_message = 0;

std::atomic<HWND> window_handle{nullptr};
bool shell_hook_registered = false;

HINSTANCE module_instance() {
  const HINSTANCE instance = app::state().instance_handle;
  return instance != nullptr ? instance : GetModuleHandleW(nullptr);
}

LRESULT handle_hidden_window_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (registered_shell_hook_message != 0 && message == registered_shell_hook_message)
    return media_keys_on_shell_hook(wparam, lparam) ? 1 : 0;
  switch (message) {
  case WM_DESTROY:
    if (shell_hook_registered) {
      shell_hook_registered = false;
      DeregisterShellHookWindow(window);
    }
    break;
  case WM_NCDESTROY: {
    // Also when the owner took the window down with it: nobody may post to a
    // handle that the system could hand out again.
    HWND expected = window;
    window_handle.compare_exchange_strong(expected, nullptr);
    break;
  }
  case main_thread_queue::wake_up_message:
    if (wparam != main_thread_queue::wake_up_wparam || lparam != main_thread_queue::wake_up_lparam) return 0;
    main_thread_guard::check();
    main_thread_queue::drain(false);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK hidden_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return guard_callback<LRESULT>(0, [&] { return handle_hidden_window_message(window, message, wparam, lparam); });
}

}  // namespace

namespace hidden_main_window {

void create() {
  if (get() != nullptr) return;
  if (registered_shell_hook_message == 0) registered_shell_hook_message = RegisterWindowMessageW(L"SHELLHOOK");
  const HINSTANCE instance = module_instance();
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = hidden_window_procedure;
  window_class.hInstance = instance;
  window_class.lpszClassName = class_name;
  SetLastError(0);
  if (RegisterClassW(&window_class) == 0) throw_last_win32_error();
  const HWND window = CreateWindowExW(0, class_name, L"uninteresting", 0, 0, 0, 0, 0, app::state().ui_main_window,
                                      nullptr, instance, nullptr);
  if (window == nullptr) {
    const DWORD error = GetLastError();
    UnregisterClassW(class_name, instance);
    throw exception_win32(error);
  }
  window_handle.store(window);
}

void destroy() {
  const HWND window = window_handle.exchange(nullptr);
  if (window != nullptr) DestroyWindow(window);
  UnregisterClassW(class_name, module_instance());
}

HWND get() noexcept { return window_handle.load(); }

bool register_shell_hook() {
  const HWND window = get();
  if (window == nullptr || shell_hook_registered) return shell_hook_registered;
  shell_hook_registered = RegisterShellHookWindow(window) != FALSE;
  return shell_hook_registered;
}

bool shell_hook_accepted() noexcept { return shell_hook_registered; }

UINT shell_hook_message() noexcept { return registered_shell_hook_message; }

}  // namespace hidden_main_window
