// Minimal stand-ins for what start-up calls of subsystems that are not built
// yet. Each block is replaced by its subsystem's real code; until then it does
// the least that lets the program start, run its loop and shut down.
#include <windows.h>

#include "core/app_state.h"
#include "core/callback_guard.h"
#include "core/startup_services.h"
#include "core/tag_service.h"
#include "core/user_interface.h"
#include "core/playback_control.h"
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

// Playback front end: starts and stops nothing.
namespace {
class playback_front_standin : public playback_front_api {
public:
  void on_init() override {}
  void on_quit() override {}
  void stop_for_shutdown() override {}
};
service_factory_single_t<playback_front_standin> playback_front_registration;
}  // namespace

namespace playback_order {
void shutdown() {}
}

namespace media_library {
void startup_folders() {}
void shutdown() {}
}  // namespace media_library

// User interface: an empty main window whose close button asks to exit.
namespace {
constexpr wchar_t main_window_class[] = L"Zorv:MainWindow";

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

class user_interface_standin : public user_interface {
public:
  void get_name(qiv::string_object& out) override { out.set_string("ZORV"); }

  HWND init(window_message_hook hook) override {
    if (window_ != nullptr) return window_;
    hook_ = hook;
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = main_window_procedure;
    window_class.hInstance = app::state().instance_handle;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = main_window_class;
    RegisterClassExW(&window_class);
    window_ = CreateWindowExW(0, main_window_class, L"Zorv Audio Player", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 640, 480, nullptr, nullptr, app::state().instance_handle, nullptr);
    if (window_ != nullptr) ShowWindow(window_, SW_SHOW);
    return window_;
  }

  void shutdown() override {
    if (window_ == nullptr) return;
    DestroyWindow(window_);
    window_ = nullptr;
    UnregisterClassW(main_window_class, app::state().instance_handle);
  }
  void activate() override {
    if (window_ != nullptr) ShowWindow(window_, SW_RESTORE);
  }
  void hide() override {
    if (window_ != nullptr) ShowWindow(window_, SW_MINIMIZE);
  }
  bool is_visible() override { return window_ != nullptr && IsWindowVisible(window_) && !IsIconic(window_); }
  GUID get_guid() override { return zorv_module_guid; }
  void reveal_now_playing() override {}

  window_message_hook hook() const { return hook_; }

private:
  HWND window_ = nullptr;
  window_message_hook hook_ = nullptr;
};

service_factory_single_t<user_interface_standin> user_interface_registration;

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return guard_callback<LRESULT>(0, [&]() -> LRESULT {
    LRESULT result = 0;
    window_message_hook hook = user_interface_registration.get_static_instance().hook();
    if (hook != nullptr && hook(window, message, wparam, lparam, result)) return result;
    if (message == WM_CLOSE) {
      app::request_exit(0);
      return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  });
}
}  // namespace

namespace preferences_dialog {
void destroy_if_open() {}
}

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
