// Media keys reaching zorv.exe as the system delivers them: "SHELLHOOK"
// notifications posted to the program's hidden main window.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "support/program_copy.h"

namespace {

using test_support::program_options;
using test_support::program_result;

constexpr wchar_t hidden_window_class[] = L"{53229DFC-A273-45cd-A3A4-161FA9FC6414}";
constexpr char next_command[] = "command: {E58895A0-A2F0-45B6-8799-1440E4DB7284}\n";
constexpr char previous_command[] = "command: {059C4566-4708-4EBF-8139-6A8EA5A9DFC8}\n";

std::size_t occurrences(const std::string& text, const char* line) {
  std::size_t count = 0;
  for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++count;
  return count;
}

// The hidden main window of the process that owns `window`: other copies of
// the program may be running beside this test.
HWND hidden_window_of(HWND window) {
  struct search {
    DWORD process;
    HWND found;
  } state = {0, nullptr};
  GetWindowThreadProcessId(window, &state.process);
  EnumWindows(
      [](HWND candidate, LPARAM context) WINAPI -> BOOL {
        auto* s = reinterpret_cast<search*>(context);
        wchar_t name[64] = {};
        DWORD process = 0;
        GetWindowThreadProcessId(candidate, &process);
        GetClassNameW(candidate, name, 64);
        if (process != s->process || std::wstring(name) != hidden_window_class) return TRUE;
        s->found = candidate;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&state));
  return state.found;
}

TEST(MediaKeys, EachKeyPressRunsItsCommandOnceAndAHeldKeyDoesNotRepeatIt) {
  if (test_support::built_program().empty()) GTEST_SKIP() << "ZORV_EXE is not set";
  const test_support::program_copy copy;  // a profile of its own

  // The keys are pressed from a thread of their own: the thread that runs
  // the program as a debugger must keep answering its debugger output, or the
  // program would stall between two presses and turn a held key into two.
  std::thread presser;
  program_options options = test_support::options_for(copy.exe());
  options.on_window = [&](HWND main_window) {
    const HWND hidden = hidden_window_of(main_window);
    if (hidden == nullptr || presser.joinable()) return;
    presser = std::thread([hidden, main_window] {
      const UINT shell_hook = RegisterWindowMessageW(L"SHELLHOOK");
      auto key = [&](WPARAM notification, UINT command) {
        PostMessageW(hidden, shell_hook, notification, MAKELPARAM(0, command));
      };
      // A held key: the same command three times at once, then another key.
      key(HSHELL_APPCOMMAND, APPCOMMAND_MEDIA_NEXTTRACK);
      key(HSHELL_APPCOMMAND, APPCOMMAND_MEDIA_NEXTTRACK);
      key(HSHELL_APPCOMMAND, APPCOMMAND_MEDIA_NEXTTRACK);
      key(HSHELL_APPCOMMAND, APPCOMMAND_MEDIA_PREVIOUSTRACK);
      // Not an application command: no key at all.
      key(HSHELL_WINDOWCREATED, APPCOMMAND_MEDIA_NEXTTRACK);
      // The same key pressed again after a pause is a new press.
      Sleep(300);
      key(HSHELL_APPCOMMAND, APPCOMMAND_MEDIA_PREVIOUSTRACK);
      Sleep(200);
      PostMessageW(main_window, WM_CLOSE, 0, 0);
    });
  };
  const program_result result = test_support::run_program(options);
  const bool pressed = presser.joinable();
  if (pressed) presser.join();

  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.exit_code, 0u);
  ASSERT_TRUE(pressed) << "no hidden main window found";
  EXPECT_EQ(occurrences(result.debug_output, next_command), 1u) << result.debug_output;
  EXPECT_EQ(occurrences(result.debug_output, previous_command), 2u) << result.debug_output;
}

}  // namespace
