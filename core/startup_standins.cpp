// Minimal stand-ins for what start-up calls of subsystems that are not built
// yet. Each block is replaced by its subsystem's real code; until then it does
// the least that lets the program start, run its loop and shut down.
#include <windows.h>

#include "core/app_state.h"
#include "core/callback_guard.h"
#include "core/startup_services.h"
#include "core/user_interface.h"
#include "core/playback_control.h"
#include "core/app_exceptions.h"
#include "core/command_dispatcher.h"
#include "core/command_line_processing.h"
#include "core/main_menu_group.h"
#include "core/menu_group_def.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"

// Command dispatcher (stand-in): until the user interface builds its menus,
// a main-menu command run by GUID is only written to the debugger output as
// "command: {GUID}", so that tests can see which command would run; only
// the exit command also does what it says.
namespace {
class command_report_standin : public main_menu_group {
public:
  std::uint32_t index_of(const GUID& command) {
    for (std::uint32_t i = 0; i < commands_.get_count(); ++i)
      if (commands_[i] == command) return i;
    commands_.append(command);
    return commands_.get_count() - 1;
  }
  std::uint32_t get_command_count() override { return commands_.get_count(); }
  GUID get_command(std::uint32_t index) override { return commands_[index]; }
  void get_command_name(std::uint32_t, qiv::string_object& output) override { output.set_string(""); }
  GUID get_parent() override { return main_menu_node::playback; }
  void execute(std::uint32_t index, service_handle) override {
    // The one command a command line may give that needs no user interface.
    if (commands_[index] == exit_command) app::request_exit(0);
    wchar_t text[40] = {};
    StringFromGUID2(commands_[index], text, 40);
    qiv::string_buffer guid;
    wide_to_utf8(text, guid);
    qiv::string_buffer line("command: ");
    line.add_c_str(guid.get_ptr());
    line.add_c_str("\n");
    output_debug_string_utf8(line.get_ptr());
  }

private:
  static constexpr GUID exit_command = {0x6D38C73A, 0x15D8, 0x472C, {0x8E, 0x68, 0x6F, 0x94, 0x6B, 0x82, 0xEC, 0xB4}};
  qiv::array<GUID> commands_;
};
service_single_instance<command_report_standin> command_report;

class command_dispatcher_standin : public command_dispatcher {
public:
  bool find_context_command(const GUID&, service_handle&, std::uint32_t&) override { return false; }
  bool find_group_command(const GUID& command, service_handle& owner, std::uint32_t& index) override {
    index = command_report.index_of(command);
    owner = &command_report;
    return true;
  }
};
service_factory_single_t<command_dispatcher_standin> command_dispatcher_registration;
}  // namespace

namespace lifecycle_callbacks {
void on_init() {}
void on_quit() {}
}  // namespace lifecycle_callbacks

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
    if (window_ == nullptr) return;
    ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(window_);
  }
  void hide() override {
    if (window_ != nullptr) ShowWindow(window_, SW_HIDE);
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

