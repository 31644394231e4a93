// Media keys reaching zorv.exe as the system delivers them: "SHELLHOOK"
// notifications posted to the program's hidden main window. What they did is
// read from the main window's now-playing line: which of the tracks plays.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "support/program_copy.h"

namespace {

using test_support::program_options;
using test_support::program_result;

constexpr wchar_t hidden_window_class[] = L"{53229DFC-A273-45cd-A3A4-161FA9FC6414}";
constexpr int now_playing_line = 1079;
const wchar_t* const track_names[] = {L"alpha", L"bravo", L"charlie", L"delta", L"echo"};

// Five minutes of silence: the capture sink takes sound several times faster
// than real time, and on a loaded machine no track may end on its own before
// the presses are done.
std::string silent_wav() {
  const std::uint32_t rate = 8000, bytes = rate * 2 * 300;
  std::string wav = "RIFF....WAVEfmt ";
  auto put = [&wav](std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) wav += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  // PCM, mono, 16-bit.
  put(16, 4);
  put(1, 2);
  put(1, 2);
  put(rate, 4);
  put(rate * 2, 4);
  put(2, 2);
  put(16, 2);
  wav += "data";
  put(bytes, 4);
  wav.resize(wav.size() + bytes, '\0');
  const std::uint32_t riff = static_cast<std::uint32_t>(wav.size() - 8);
  for (int i = 0; i < 4; ++i) wav[4 + i] = static_cast<char>((riff >> (8 * i)) & 0xFF);
  return wav;
}

std::wstring now_playing(HWND main_window) {
  wchar_t text[512] = {};
  SendMessageTimeoutW(GetDlgItem(main_window, now_playing_line), WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 5000, nullptr);
  return text;
}

// Waits until the line names the track: the title link holds its name.
bool wait_for_track(HWND main_window, const wchar_t* name) {
  const std::wstring link = std::wstring(L">") + name + L"<";
  for (int i = 0; i < 200; ++i) {
    if (now_playing(main_window).find(link) != std::wstring::npos) return true;
    Sleep(50);
  }
  return false;
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
  std::wstring arguments;
  const std::string wav = silent_wav();
  for (const wchar_t* name : track_names) {
    const std::wstring path = copy.beside(std::wstring(name) + L".wav");
    test_support::write_file(path, wav);
    arguments += L" \"" + path + L"\"";
  }

  // The keys are pressed from a thread of their own: the thread that runs
  // the program as a debugger must keep answering its debugger output, or the
  // program would stall between two presses and turn a held key into two.
  // Each step waits for the track it leads to, so that a step never starts
  // from a track the player has not reached yet.
  std::thread presser;
  std::vector<std::wstring> reached;
  program_options options = test_support::options_for(copy.exe(), arguments);
  options.timeout_ms = 60000;
  options.on_window = [&](HWND main_window) {
    const HWND hidden = hidden_window_of(main_window);
    if (hidden == nullptr || presser.joinable()) return;
    presser = std::thread([&, hidden, main_window] {
      const UINT shell_hook = RegisterWindowMessageW(L"SHELLHOOK");
      auto key = [&](WPARAM notification, UINT command) {
        PostMessageW(hidden, shell_hook, notification, MAKELPARAM(0, command));
      };
      auto note = [&](const wchar_t* name) {
        reached.push_back(wait_for_track(main_window, name) ? name : now_playing(main_window));
      };
      note(L"alpha");
      // A held key: the same command three times at once, then another key.
      key(HSHELL_APPCOMMAND, APPCOMMAND_MEDIA_NEXTTRACK);
      key(HSHELL_APPCOMMAND, APPCOMMAND_MEDIA_NEXTTRACK);
      key(HSHELL_APPCOMMAND, APPCOMMAND_MEDIA_NEXTTRACK);
      // Not an application command: no key at all.
      key(HSHELL_WINDOWCREATED, APPCOMMAND_MEDIA_NEXTTRACK);
      note(L"bravo");
      // The same key pressed again after a pause is a new press.
      Sleep(300);
      key(HSHELL_APPCOMMAND, APPCOMMAND_MEDIA_NEXTTRACK);
      note(L"charlie");
      key(HSHELL_APPCOMMAND, APPCOMMAND_MEDIA_PREVIOUSTRACK);
      key(HSHELL_APPCOMMAND, APPCOMMAND_MEDIA_PREVIOUSTRACK);
      note(L"bravo");
      // Give a wrongly repeated key time to show.
      Sleep(1000);
      reached.push_back(now_playing(main_window));
      PostMessageW(main_window, WM_CLOSE, 0, 0);
    });
  };
  const program_result result = test_support::run_program(options);
  const bool pressed = presser.joinable();
  if (pressed) presser.join();

  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.exit_code, 0u);
  ASSERT_TRUE(pressed) << "no hidden main window found";
  ASSERT_EQ(reached.size(), 5u);
  EXPECT_EQ(reached[0], L"alpha") << "the command line's first file plays";
  EXPECT_EQ(reached[1], L"bravo") << "a held Next moves one track";
  EXPECT_EQ(reached[2], L"charlie") << "Next pressed again moves on";
  EXPECT_EQ(reached[3], L"bravo") << "a held Previous moves one track back";
  EXPECT_NE(reached[4].find(L">bravo<"), std::wstring::npos) << "and stays there";
}

}  // namespace
