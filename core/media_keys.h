// The media keys of the keyboard: they reach the program as "SHELLHOOK"
// messages of the hidden main window (HSHELL_APPCOMMAND) and become the
// playback commands of the main menu. Main thread only.
#pragma once

#include <windows.h>

#include <cstdint>

// What the hidden main window calls for its registered "SHELLHOOK" message.
// Answers true (the window answers 1) when the notification was a media key
// that the program acts on; false (the window answers 0) for every other
// notification, and for all of them before the service registry is ready.
bool media_keys_on_shell_hook(WPARAM wparam, LPARAM lparam);

// The HSHELL_APPCOMMAND handler: 1 for the eight playback keys (also when a
// repeat is swallowed), 0 for any other application command.
LRESULT media_key_handler(LPARAM lparam);

// The main window's Play/Pause: it pauses while playback is active and
// starts it otherwise. Only the user interface knows both, so it installs the
// function when it creates its main window; until then the key does nothing.
namespace play_pause_key {
using handler_function = void (*)();
// Null: the key does nothing again.
void set_handler(handler_function function) noexcept;
void press();
}  // namespace play_pause_key

// A held-down key repeats its application command; the same command arriving
// again within 50 ms of the previous one is a repeat and does nothing.
// Another command, however soon, is a new press.
class media_key_repeat_filter {
public:
  static constexpr std::uint32_t repeat_window_ms = 50;

  // Records `command` at `now` (GetTickCount) and answers whether it repeats
  // the previous one.
  bool is_repeat(std::uint32_t command, std::uint32_t now) noexcept;

private:
  bool seen_ = false;
  std::uint32_t last_command_ = 0;
  std::uint32_t last_tick_ = 0;
};
