// Key presses in the main window turned into shortcut key codes and handed to
// the shortcut table.
#pragma once

#include <windows.h>

#include <cstdint>

// Bits of a shortcut key code above the virtual-key byte.
enum shortcut_modifier : std::uint32_t {
  shortcut_shift = 0x100,
  shortcut_ctrl = 0x200,
  shortcut_alt = 0x400,
  shortcut_windows = 0x800,
};

// Runs the shortcut bound to a key code.
class shortcut_table {
public:
  virtual bool run_shortcut(std::uint32_t key_code) = 0;

protected:
  ~shortcut_table() = default;
};

// Modifiers down now: 1 Alt, 2 Ctrl, 4 Shift, 8 either Windows key.
std::uint32_t get_modifier_key_state();
// The key code of a key with the modifiers of get_modifier_key_state.
std::uint32_t shortcut_key_code(WPARAM virtual_key, std::uint32_t modifiers);
// True when a shortcut ran for a key press addressed to `window` or one of
// its children (a dialog of its own is left alone).
bool shortcut_process_key_message(shortcut_table& shortcuts, HWND window, const MSG& message);
// The same with the modifier state given, for callers that know it.
bool shortcut_process_key_message(shortcut_table& shortcuts, HWND window, const MSG& message,
                                  std::uint32_t modifiers);
