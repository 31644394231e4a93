#include "core/callback_guard.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

constexpr UINT throw_message = WM_APP + 1;

LRESULT CALLBACK throwing_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return guard_callback<LRESULT>(-1, [&]() -> LRESULT {
    if (message == throw_message) throw std::runtime_error("from the window procedure");
    return DefWindowProcW(window, message, wparam, lparam);
  });
}

TEST(CallbackGuard, ExceptionInWindowProcedureReachesTheLoopAfterDispatch) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = throwing_procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"ZorvTest:Throwing";
  ASSERT_NE(RegisterClassW(&window_class), 0);
  HWND window = CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                window_class.hInstance, nullptr);
  ASSERT_NE(window, nullptr);

  // The procedure answers the failure value instead of unwinding through Win32.
  EXPECT_EQ(SendMessageW(window, throw_message, 0, 0), -1);
  EXPECT_THROW(callback_guard::rethrow_pending(), std::runtime_error);
  // Once rethrown, it is gone.
  EXPECT_NO_THROW(callback_guard::rethrow_pending());

  // Only the first of several failures is kept.
  SendMessageW(window, throw_message, 0, 0);
  SendMessageW(window, throw_message, 0, 0);
  EXPECT_THROW(callback_guard::rethrow_pending(), std::runtime_error);
  EXPECT_NO_THROW(callback_guard::rethrow_pending());

  DestroyWindow(window);
  UnregisterClassW(window_class.lpszClassName, window_class.hInstance);
}

}  // namespace
