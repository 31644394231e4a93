#include "core/message_loop.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "core/advanced_settings_registrations.h"
#include "core/callback_guard.h"
#include "core/dialog_registry.h"

namespace {

using procedure = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

constexpr wchar_t test_class[] = L"ZorvTest:LoopWindow";

LRESULT CALLBACK test_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return guard_callback<LRESULT>(0, [&]() -> LRESULT {
    auto* handler = reinterpret_cast<procedure*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (handler != nullptr && *handler) return (*handler)(window, message, wparam, lparam);
    return DefWindowProcW(window, message, wparam, lparam);
  });
}

// A window of the calling thread whose messages go to `handler`: message-only
// unless `visible`, then a shown top-level window.
class test_window {
public:
  explicit test_window(procedure handler = {}, bool visible = false) : handler_(std::move(handler)) {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = test_window_procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = test_class;
    RegisterClassW(&window_class);  // already registered by an earlier window: fine
    if (visible) {
      window_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, test_class, L"", WS_POPUP | WS_VISIBLE, 300, 200,
                                200, 150, nullptr, nullptr, window_class.hInstance, nullptr);
    } else {
      window_ = CreateWindowExW(0, test_class, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, window_class.hInstance,
                                nullptr);
    }
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handler_));
  }
  ~test_window() { DestroyWindow(window_); }
  test_window(const test_window&) = delete;
  test_window& operator=(const test_window&) = delete;

  HWND get() const { return window_; }
  POINT centre() const {
    RECT rect;
    GetWindowRect(window_, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  }

private:
  procedure handler_;
  HWND window_ = nullptr;
};

// An idle handler of the process's loop for the length of a scope.
class idle_registration : public idle_handler {
public:
  explicit idle_registration(std::function<void()> work) : work_(std::move(work)) {
    message_loop::get().add_idle_handler(this);
  }
  ~idle_registration() { message_loop::get().remove_idle_handler(this); }
  void on_idle() override { work_(); }

private:
  std::function<void()> work_;
};

TEST(MessageLoop, PaintingMouseMovementAndCaretBlinkingDoNotWakeTheIdleHandlers) {
  // Each idle pass posts the next message on the list; the window answers it
  // by starting a short timer, whose tick is real work. A message that woke
  // the idle handlers would show as a pass between it and the tick.
  const UINT quiet_messages[] = {WM_MOUSEMOVE, WM_NCMOUSEMOVE, WM_PAINT, 0x0118};
  const char names[] = "mnpc";
  std::string log;
  std::size_t next = 0;
  test_window window([&](HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
    for (std::size_t i = 0; i < 4; ++i) {
      if (message == quiet_messages[i]) {
        log += names[i];
        SetTimer(hwnd, 1, 1, nullptr);
        return 0;
      }
    }
    if (message == WM_TIMER) {
      KillTimer(hwnd, 1);
      log += 't';
      return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  });
  idle_registration idle([&] {
    log += 'I';
    if (next < 4)
      PostMessageW(window.get(), quiet_messages[next++], 0, 0);
    else
      PostQuitMessage(5);
  });

  // The loop's result is the exit code WM_QUIT carries.
  EXPECT_EQ(main_message_loop(), 5);
  EXPECT_EQ(log, "ImtIntIptIctI");
}

TEST(MessageLoop, AnExceptionFromAWindowProcedureLeavesTheLoopInsteadOfUnwindingThroughWin32) {
  test_window window([](HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
    if (message == WM_APP) throw std::runtime_error("window procedure failed");
    return DefWindowProcW(hwnd, message, wparam, lparam);
  });
  PostMessageW(window.get(), WM_APP, 0, 0);
  EXPECT_THROW(main_message_loop(), std::runtime_error);
}

class WheelRetargeting : public ::testing::Test {
protected:
  void TearDown() override { advanced_settings::wheel_scrolls_window_under_pointer.reset(); }

  static MSG wheel_message(HWND focused) {
    MSG message = {};
    message.hwnd = focused;
    message.message = WM_MOUSEWHEEL;
    message.wParam = MAKEWPARAM(0, WHEEL_DELTA);
    return message;
  }
};

TEST_F(WheelRetargeting, TheWheelTurnsTheWindowUnderThePointerNotTheFocusedOne) {
  test_window focused;
  test_window under({}, true);
  for (UINT number : {WM_MOUSEWHEEL, WM_MOUSEHWHEEL}) {
    MSG message = wheel_message(focused.get());
    message.message = number;
    EXPECT_FALSE(pretranslate_message(message, under.centre()));
    EXPECT_EQ(message.hwnd, under.get());
  }
  // Other messages keep their window, and so does the wheel with the setting off.
  MSG click = wheel_message(focused.get());
  click.message = WM_LBUTTONDOWN;
  pretranslate_message(click, under.centre());
  EXPECT_EQ(click.hwnd, focused.get());
  advanced_settings::wheel_scrolls_window_under_pointer.set_state(false);
  MSG message = wheel_message(focused.get());
  pretranslate_message(message, under.centre());
  EXPECT_EQ(message.hwnd, focused.get());
}

TEST_F(WheelRetargeting, AWindowOfAnotherThreadIsNeverTheTarget) {
  test_window focused;
  POINT other_centre = {};
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE finish = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread other([&] {
    test_window window({}, true);
    other_centre = window.centre();
    SetEvent(ready);
    // Keeps answering messages while the main thread asks about the window.
    while (MsgWaitForMultipleObjects(1, &finish, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
  });
  WaitForSingleObject(ready, INFINITE);
  MSG message = wheel_message(focused.get());
  pretranslate_message(message, other_centre);
  SetEvent(finish);
  other.join();
  CloseHandle(ready);
  CloseHandle(finish);
  EXPECT_EQ(message.hwnd, focused.get());
}

TEST(DialogRegistry, ARegisteredWindowGetsItsMessagesThroughTheDialogManagerUntilRemoved) {
  int seen = 0;
  test_window dialog([&](HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
    if (message == WM_APP) ++seen;
    return DefWindowProcW(hwnd, message, wparam, lparam);
  });
  test_window other;
  dialog_registry::get().add(dialog.get());
  dialog_registry::get().add(dialog.get());

  MSG message = {};
  message.hwnd = dialog.get();
  message.message = WM_APP;
  // Consumed: the dialog manager dispatched it, the loop must not again.
  EXPECT_TRUE(pretranslate_message(message, POINT{}));
  EXPECT_EQ(seen, 1);
  message.hwnd = other.get();
  EXPECT_FALSE(pretranslate_message(message, POINT{}));

  // One removal takes every registration of the window.
  dialog_registry::get().remove(dialog.get());
  message.hwnd = dialog.get();
  EXPECT_FALSE(pretranslate_message(message, POINT{}));
  EXPECT_EQ(seen, 1);
}

}  // namespace
