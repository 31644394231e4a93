#include "core/media_keys.h"

#include "core/app_state.h"
#include "core/command_dispatcher.h"
#include "core/main_thread_queue.h"
#include "core/service_factory.h"

namespace {

// The playback commands of the main menu that media keys run.
constexpr GUID command_play_next = {0xE58895A0, 0xA2F0, 0x45B6, {0x87, 0x99, 0x14, 0x40, 0xE4, 0xDB, 0x72, 0x84}};
constexpr GUID command_play_prev = {0x059C4566, 0x4708, 0x4EBF, {0x81, 0x39, 0x6A, 0x8E, 0xA5, 0xA9, 0xDF, 0xC8}};
constexpr GUID command_stop = {0xC3378028, 0x165F, 0x4374, {0x96, 0x6C, 0x2F, 0xA2, 0xE0, 0xFC, 0xD3, 0xA8}};
constexpr GUID command_pause = {0xFCEF5262, 0x7FA5, 0x452E, {0xA5, 0x27, 0xC1, 0x4E, 0x0C, 0xB5, 0x82, 0xDE}};
constexpr GUID command_fast_forward = {0x851B8274, 0x2879, 0x43D3, {0xA4, 0x93, 0x23, 0xB2, 0xE9, 0x93, 0xC8, 0x28}};
constexpr GUID command_rewind = {0xF7AA88F4, 0x057A, 0x4332, {0xBA, 0xE8, 0x5F, 0x64, 0x73, 0x56, 0xC7, 0x2F}};

// The main window's Play button.
constexpr WPARAM play_button_command = 1000;

// Runs one main-menu command from the main-thread queue, after the shell-hook
// message that asked for it has been answered.
class command_callback : public main_thread_callback {
public:
  explicit command_callback(const GUID& command) noexcept : command_(command) {}
  void run() override { run_group_command_by_guid(command_); }

private:
  GUID command_;
};

void queue_command(const GUID& command) {
  const service_ptr<main_thread_callback> callback(new service_counted<command_callback>(command));
  main_thread_queue::post(callback.get());
}

media_key_repeat_filter key_filter;
play_pause_key::handler_function installed_play_pause = nullptr;

}  // namespace

bool media_key_repeat_filter::is_repeat(std::uint32_t command, std::uint32_t now) noexcept {
  // Unsigned difference: correct across the wrap of the tick count.
  const bool repeat = seen_ && command == last_command_ && now - last_tick_ < repeat_window_ms;
  seen_ = true;
  last_command_ = command;
  last_tick_ = now;
  return repeat;
}

namespace play_pause_key {

void set_handler(handler_function function) noexcept { installed_play_pause = function; }

void press() {
  if (installed_play_pause != nullptr) installed_play_pause();
}

}  // namespace play_pause_key

LRESULT media_key_handler(LPARAM lparam) {
  // The high word carries the device bits above the command.
  const std::uint32_t command = (static_cast<std::uint32_t>(lparam) >> 16) & 0x0FFF;
  const bool repeat = key_filter.is_repeat(command, GetTickCount());

  const GUID* queued = nullptr;
  switch (command) {
  case APPCOMMAND_MEDIA_NEXTTRACK: queued = &command_play_next; break;
  case APPCOMMAND_MEDIA_PREVIOUSTRACK: queued = &command_play_prev; break;
  case APPCOMMAND_MEDIA_STOP: queued = &command_stop; break;
  case APPCOMMAND_MEDIA_PAUSE: queued = &command_pause; break;
  case APPCOMMAND_MEDIA_FAST_FORWARD: queued = &command_fast_forward; break;
  case APPCOMMAND_MEDIA_REWIND: queued = &command_rewind; break;
  case APPCOMMAND_MEDIA_PLAY_PAUSE:
  case APPCOMMAND_MEDIA_PLAY: break;
  default: return 0;
  }
  if (repeat) return 1;

  if (queued != nullptr) {
    queue_command(*queued);
  } else if (command == APPCOMMAND_MEDIA_PLAY_PAUSE) {
    play_pause_key::press();
  } else {
    const HWND window = app::state().ui_main_window;
    if (window != nullptr) PostMessageW(window, WM_COMMAND, play_button_command, 0);
  }
  return 1;
}

bool media_keys_on_shell_hook(WPARAM wparam, LPARAM lparam) {
  if (wparam != HSHELL_APPCOMMAND || !app::state().registry_ready) return false;
  return media_key_handler(lparam) != 0;
}
