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
    commands.push_back(message == WM_COMMAND ? LOWORD(wparam) : wparam);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// Whether the loop took the key in, with the window's posted messages handled.
bool press(HWND active, UINT key, bool control, bool shift = false) {
  SetForegroundWindow(active);
  SetActiveWindow(active);
  BYTE keys[256] = {};
  keys[VK_CONTROL] = control ? 0x80 : 0;
  keys[VK_SHIFT] = shift ? 0x80 : 0;
  SetKeyboardState(keys);
  MSG message = {};
  message.hwnd = active;
  message.message = WM_KEYDOWN;
  message.wParam = key;
  const bool consumed = pretranslate_message(message, POINT{});
  MSG posted;
  while (PeekMessageW(&posted, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&posted);
  return consumed;
}

TEST(DialogKeyFilters, F1AndControlKeysActOnlyInTheActiveDialogWindow) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = record_commands;
  window_class.lpszClassName = L"key_filter_test";
  RegisterClassW(&window_class);
  HWND dialog = CreateWindowW(L"key_filter_test", L"dialog", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                              nullptr, nullptr, nullptr, nullptr);
  HWND other = CreateWindowW(L"key_filter_test", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                             nullptr, nullptr, nullptr, nullptr);
  context_help_filter help(dialog);
  message_loop::get().add_filter(&help);
  EXPECT_FALSE(press(other, VK_F1, false));
  EXPECT_TRUE(press(dialog, VK_F1, false));
  message_loop::get().remove_filter(&help);
  {
    tab_key_filter tabs;
    tabs.attach(dialog);
    EXPECT_TRUE(press(dialog, VK_TAB, true));
    EXPECT_TRUE(press(dialog, VK_NEXT, true));
    EXPECT_TRUE(press(dialog, VK_TAB, true, true));
    EXPECT_TRUE(press(dialog, VK_PRIOR, true));
    EXPECT_FALSE(press(dialog, VK_TAB, false));
    EXPECT_FALSE(press(other, VK_TAB, true));
  }
  EXPECT_FALSE(press(dialog, VK_TAB, true)) << "the filter left the loop with its object";
  EXPECT_EQ(commands, (std::vector<WPARAM>{SC_CONTEXTHELP, command_next_tab, command_next_tab, command_previous_tab,
                                           command_previous_tab}));
  DestroyWindow(other);
  DestroyWindow(dialog);
}

}  // namespace
