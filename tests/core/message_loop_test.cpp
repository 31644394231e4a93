#include "core/message_loop.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/callback_guard.h"
#include "foundation/exceptions.h"

namespace {

int failures = 0;

LRESULT CALLBACK failing_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return guard_callback<LRESULT>(-1, [&]() -> LRESULT {
    if (message == WM_APP) throw std::runtime_error(++failures == 1 ? "first" : "later");
    return DefWindowProcW(window, message, wparam, lparam);
  });
}

// Adds its name to the log when asked, as filter or idle handler, then does
// what the test asks of it.
struct named_hook : message_filter, idle_handler {
  named_hook(char name, std::string& log) : name(name), log(log) {}
  bool filter(MSG&) override { return on_idle(), false; }
  void on_idle() override {
    log += name;
    if (then) then();
  }
  char name;
  std::string& log;
  std::function<void()> then;
};

// Nothing registers filters or idle handlers yet; what they will need most is
// to come and go while asked: one taken out is not asked later in the same walk
// (even when registered twice), one added is asked from the next walk on.
TEST(MessageFilters, RegistrationsMayChangeWhileTheyAreAsked) {
  message_filter_list filters;
  idle_handler_list handlers;
  std::string log;
  named_hook oldest('a', log), twice('t', log), newest('n', log), late('l', log);
  MSG message = {};
  for (message_filter* filter : {&twice, &oldest, &twice, &newest}) filters.add(filter, 0, 0xFFFFFFFF);
  newest.then = [&] {
    filters.remove(&newest);
    filters.remove(&twice);
    filters.add(&late, 0, 0xFFFFFFFF);
  };
  filters.offer(message);
  filters.offer(message);
  for (idle_handler* handler : {&twice, &oldest, &twice, &newest}) handlers.add(handler);
  newest.then = [&] {
    handlers.remove(&newest);
    handlers.remove(&twice);
    handlers.add(&late);
  };
  handlers.run_pass();
  handlers.run_pass();
  EXPECT_EQ(log, "na" "la" "na" "la");
}

// Only the first of several failures is kept, and once rethrown it is gone.
TEST(MessageLoop, AnExceptionFromAWindowProcedureLeavesTheLoopInsteadOfUnwindingThroughWin32) {
  WNDCLASSW window_class = {};
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpfnWndProc = failing_procedure;
  window_class.lpszClassName = L"ZorvTest:FailingWindow";
  RegisterClassW(&window_class);
  const HWND window = CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      window_class.hInstance, nullptr);
  EXPECT_EQ(SendMessageW(window, WM_APP, 0, 0), -1);  // the failure value, not an unwind
  SendMessageW(window, WM_APP, 0, 0);
  PostMessageW(window, WM_APP, 0, 0);
  try {
    main_message_loop();
    ADD_FAILURE() << "the loop ran on";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "first");
  }
  EXPECT_NO_THROW(callback_guard::rethrow_pending());
  DestroyWindow(window);
}

std::vector<std::string> reported;
void record_report(const std::exception& error) noexcept { reported.emplace_back(error.what()); }

LRESULT CALLBACK quitting_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return guard_callback<LRESULT>(-1, [&]() -> LRESULT {
    if (message == WM_APP) throw std::bad_alloc();
    if (message == WM_APP + 1) throw std::runtime_error("a command failed");
    if (message == WM_APP + 2) qiv::throw_bug_check();
    if (message == WM_APP + 3) PostQuitMessage(int(wparam));
    return DefWindowProcW(window, message, wparam, lparam);
  });
}

// What the player's loop does with what windows kept: a failure of one
// command is reported and the loop goes on to its WM_QUIT; an internal
// error still ends it.
TEST(MessageLoop, ThePlayersLoopReportsFailuresOfCommandsAndEndsOnlyForInternalErrors) {
  WNDCLASSW window_class = {};
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpfnWndProc = quitting_procedure;
  window_class.lpszClassName = L"ZorvTest:QuittingWindow";
  RegisterClassW(&window_class);
  const HWND window = CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      window_class.hInstance, nullptr);
  PostMessageW(window, WM_APP, 0, 0);
  PostMessageW(window, WM_APP + 1, 0, 0);
  PostMessageW(window, WM_APP + 3, 7, 0);
  EXPECT_EQ(main_message_loop_past_failures(record_report), 7);
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_EQ(reported[1], "a command failed");

  PostMessageW(window, WM_APP + 2, 0, 0);
  PostMessageW(window, WM_APP + 3, 8, 0);
  EXPECT_THROW(main_message_loop_past_failures(record_report), qiv::exception_bug_check);
  EXPECT_EQ(reported.size(), 2u);
  MSG left;
  while (PeekMessageW(&left, nullptr, 0, 0, PM_REMOVE)) {
  }
  DestroyWindow(window);
}

}  // namespace
