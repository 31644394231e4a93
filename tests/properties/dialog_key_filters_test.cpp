// F1 and the tab-switching keys of the properties dialog reach its window
// through the message loop's filters only while that window is active.
#include "properties/dialog_key_filters.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/message_loop.h"

namespace {

std::vector<WPARAM> commands;

LRESULT CALLBACK record_commands(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND || (message == WM_SYSCOMMAND && wparam == SC_CONTEXTHELP)) {
    commands.push_back(LOWORD(wparam) == SC_CONTEXTHELP ? SC_CONTEXTHELP : LOWORD(wparam));
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

class DialogKeyFilters : public ::testing::Test {
protected:
  void SetUp() override {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = record_commands;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"key_filter_test";
    RegisterClassW(&window_class);
    for (HWND& window : windows)
      window = CreateWindowW(L"key_filter_test", L"keys", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                             nullptr, nullptr, nullptr);
    commands.clear();
  }
  void TearDown() override {
    for (HWND window : windows) DestroyWindow(window);
  }
  // What the window received for a key press the loop takes in.
  bool press(UINT key, bool control, bool shift) {
    BYTE keys[256] = {};
    if (control) keys[VK_CONTROL] = 0x80;
    if (shift) keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    MSG message = {};
    message.hwnd = GetActiveWindow();
    message.message = WM_KEYDOWN;
    message.wParam = key;
    message.lParam = 1;
    const bool consumed = pretranslate_message(message, POINT{});
    MSG posted;
    while (PeekMessageW(&posted, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&posted);
    return consumed;
  }
  void activate(HWND window) {
    SetForegroundWindow(window);
    SetActiveWindow(window);
    ASSERT_EQ(GetActiveWindow(), window);
  }

  HWND windows[2] = {};
};

TEST_F(DialogKeyFilters, F1AsksForContextHelpOnceAndOnlyInTheActiveWindow) {
  context_help_filter help(windows[0]);
  message_loop::get().add_filter(&help);
  activate(windows[1]);
  EXPECT_FALSE(press(VK_F1, false, false));
  activate(windows[0]);
  EXPECT_TRUE(press(VK_F1, false, false));
  EXPECT_FALSE(press('A', false, false));
  message_loop::get().remove_filter(&help);
  EXPECT_EQ(commands, std::vector<WPARAM>{SC_CONTEXTHELP});
}

TEST_F(DialogKeyFilters, ControlKeysSwitchTabsInTheActiveWindowOnly) {
  {
    tab_key_filter tabs;
    tabs.attach(windows[0]);
    activate(windows[0]);
    EXPECT_TRUE(press(VK_TAB, true, false));
    EXPECT_TRUE(press(VK_NEXT, true, false));
    EXPECT_TRUE(press(VK_TAB, true, true));
    EXPECT_TRUE(press(VK_PRIOR, true, false));
    EXPECT_FALSE(press(VK_TAB, false, false));
    activate(windows[1]);
    EXPECT_FALSE(press(VK_TAB, true, false));
  }
  activate(windows[0]);
  EXPECT_FALSE(press(VK_TAB, true, false)) << "the filter left the loop with its object";
  EXPECT_EQ(commands, (std::vector<WPARAM>{command_next_tab, command_next_tab, command_previous_tab,
                                           command_previous_tab}));
}

}  // namespace
