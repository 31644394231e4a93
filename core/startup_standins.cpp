// Minimal stand-ins for what start-up calls of subsystems that are not built
// yet. Each block is replaced by its subsystem's real code; until then it does
// the least that lets the program start, run its loop and shut down.
#include <windows.h>

#include "core/app_state.h"
#include "core/callback_guard.h"
#include "core/startup_services.h"
#include "core/tag_service.h"
#include "core/app_exceptions.h"

// Crash handler: ends the process with the exception's code, so that a crash
// never reports success. Crash dumps come with the crash-dump writer.
namespace crash_handler {
namespace {
LONG WINAPI filter(EXCEPTION_POINTERS* pointers) {
  if (IsDebuggerPresent()) return EXCEPTION_CONTINUE_SEARCH;
  TerminateProcess(GetCurrentProcess(), pointers->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}
}  // namespace
void install() { SetUnhandledExceptionFilter(filter); }
}  // namespace crash_handler

// Localisation: every text the start-up shows is still the built-in English one.
namespace localisation {
void load(std::uint32_t) {}
}

// Single instance: every start is the first instance.
namespace single_instance {
bool check() { return true; }
void process_own_command_line() {}
void destroy() {}
}  // namespace single_instance

namespace separator_control {
void register_class() {}
}

// The trailing-tag service that start-up insists on; its real implementation
// comes with the tag readers and writers.
namespace {
class trailing_tag_service_standin : public tag_service {};
service_factory_single_t<trailing_tag_service_standin> trailing_tag_service_registration;
}  // namespace

namespace lifecycle_callbacks {
void on_init() {}
void on_quit() {}
}  // namespace lifecycle_callbacks

namespace hidden_main_window {
void create() {}
void destroy() {}
}  // namespace hidden_main_window

namespace main_thread_queue {
void drain() {}
}

namespace playback_front {
void on_init() {}
void stop_for_shutdown() {}
void on_quit() {}
}  // namespace playback_front

namespace playback_order {
void shutdown() {}
}

namespace media_library {
void startup_folders() {}
void shutdown() {}
}  // namespace media_library

// User interface: an empty main window whose close button asks to exit.
namespace user_interface {
namespace {
constexpr wchar_t window_class[] = L"Zorv:MainWindow";
HWND main_window = nullptr;

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return guard_callback<LRESULT>(0, [&]() -> LRESULT {
    LRESULT result = 0;
    if (session_end_handler(window, message, wparam, lparam, result)) return result;
    switch (message) {
    case WM_CLOSE:
      app::request_exit(0);
      return 0;
    case WM_DESTROY:
      main_window = nullptr;
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
    }
  });
}
}  // namespace

HWND start() {
  WNDCLASSEXW window_class_info = {};
  window_class_info.cbSize = sizeof(window_class_info);
  window_class_info.lpfnWndProc = window_procedure;
  window_class_info.hInstance = app::state().instance_handle;
  window_class_info.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class_info.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class_info.lpszClassName = window_class;
  RegisterClassExW(&window_class_info);
  main_window = CreateWindowExW(0, window_class, L"Zorv Audio Player", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 640, 480, nullptr, nullptr, app::state().instance_handle, nullptr);
  if (main_window == nullptr) throw exception_messagebox("Failed to initialize user interface, exiting.");
  ShowWindow(main_window, SW_SHOW);
  return main_window;
}

void hide() {
  if (main_window != nullptr) ShowWindow(main_window, SW_HIDE);
}

void shutdown() {
  if (main_window != nullptr) DestroyWindow(main_window);
  main_window = nullptr;
  UnregisterClassW(window_class, app::state().instance_handle);
}

void destroy_preferences_if_open() {}
}  // namespace user_interface

// Message loop: translate and dispatch until WM_QUIT; an exception stored by
// a window procedure is rethrown here, outside the Win32 frames.
namespace message_loop {
int run() {
  MSG message;
  for (;;) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);
    if (got == -1) return 0;
    TranslateMessage(&message);
    DispatchMessageW(&message);
    callback_guard::rethrow_pending();
  }
}
}  // namespace message_loop

namespace close_confirmation {
bool query() { return true; }
}

namespace shutdown_approval {
bool query_all() { return true; }
}

namespace modal_scope_guard {
void enter() {}
void leave() {}
}  // namespace modal_scope_guard
