#include "core/message_loop.h"

#include "core/advanced_settings_registrations.h"
#include "core/callback_guard.h"
#include "core/dialog_registry.h"
#include "core/main_thread_guard.h"
#include "core/service_factory.h"
#include "foundation/exceptions.h"
#include "foundation/win32_error.h"

namespace {

class message_loop_impl : public message_loop {
public:
  void add_filter(message_filter* filter) override { filters_.add(filter, 0, 0xFFFFFFFF); }
  void remove_filter(message_filter* filter) override { filters_.remove(filter); }
  void add_idle_handler(idle_handler* handler) override { idle_handlers_.add(handler); }
  void remove_idle_handler(idle_handler* handler) override { idle_handlers_.remove(handler); }
  void add_filter_range(message_filter* filter, UINT lowest, UINT highest) override {
    filters_.add(filter, lowest, highest);
  }

  message_filter_list& filters() noexcept { return filters_; }
  idle_handler_list& idle_handlers() noexcept { return idle_handlers_; }

private:
  message_filter_list filters_;
  idle_handler_list idle_handlers_;
};

service_factory_single_t<message_loop_impl> message_loop_registration;

message_loop_impl& process_loop() noexcept { return message_loop_registration.get_static_instance(); }

// A wheel message goes to the focused window; users expect the list under
// the pointer to scroll. Only windows of this thread: a message must not be
// handed to another program's window or another thread's.
void retarget_wheel_message(MSG& message, POINT cursor) {
  if (message.message != WM_MOUSEWHEEL && message.message != WM_MOUSEHWHEEL) return;
  if (!advanced_settings::wheel_scrolls_window_under_pointer.get_state()) return;
  const HWND under = WindowFromPoint(cursor);
  if (under == nullptr) return;
  DWORD process = 0;
  const DWORD thread = GetWindowThreadProcessId(under, &process);
  if (process == GetCurrentProcessId() && thread == GetCurrentThreadId()) message.hwnd = under;
}

}  // namespace

message_loop& message_loop::get() noexcept { return process_loop(); }

bool pretranslate_message(MSG& message, POINT cursor) {
  retarget_wheel_message(message, cursor);
  if (process_loop().filters().offer(message)) return true;
  return dialog_registry_offer(message);
}

bool message_ends_idle_phase(UINT message) noexcept {
  switch (message) {
  case WM_PAINT:
  case WM_NCMOUSEMOVE:
  case 0x0118:  // the system timer that blinks the caret
  case WM_MOUSEMOVE:
    return false;
  default:
    return true;
  }
}

int main_message_loop() {
  bool idle = true;
  for (;;) {
    main_thread_guard::check();
    while (idle) {
      MSG waiting;
      if (PeekMessageW(&waiting, nullptr, 0, 0, PM_NOREMOVE)) break;
      process_loop().idle_handlers().run_pass();
      idle = false;
    }
    MSG message;
    SetLastError(0);
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) throw exception_message_loop(GetLastError());
    if (got == 0) return static_cast<int>(message.wParam);
    const DWORD position = GetMessagePos();
    const POINT cursor = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    if (!pretranslate_message(message, cursor)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    // Window procedures (also those IsDialogMessageW reached) keep their
    // exception for us: it must not unwind through the system's frames.
    callback_guard::rethrow_pending();
    if (message_ends_idle_phase(message.message)) idle = true;
  }
}

int main_message_loop_past_failures(loop_failure_report report) {
  for (;;) {
    try {
      return main_message_loop();
    } catch (const qiv::exception_bug_check&) {
      throw;
    } catch (const exception_message_loop&) {
      throw;
    } catch (const std::exception& error) {
      report(error);
    }
  }
}
