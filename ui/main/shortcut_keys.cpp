#include "ui/main/shortcut_keys.h"

#include "foundation/modal_popup.h"

namespace {
bool is_down(int key) { return (GetKeyState(key) & 0x8000) != 0; }
}  // namespace

std::uint32_t get_modifier_key_state() {
  std::uint32_t state = 0;
  if (is_down(VK_CONTROL)) state |= 2;
  if (is_down(VK_SHIFT)) state |= 4;
  if (is_down(VK_MENU)) state |= 1;
  if (is_down(VK_LWIN) || is_down(VK_RWIN)) state |= 8;
  return state;
}

std::uint32_t shortcut_key_code(WPARAM virtual_key, std::uint32_t modifiers) {
  std::uint32_t code = static_cast<std::uint32_t>(virtual_key & 0xFF);
  if (modifiers & 2) code |= shortcut_ctrl;
  if (modifiers & 4) code |= shortcut_shift;
  if (modifiers & 1) code |= shortcut_alt;
  if (modifiers & 8) code |= shortcut_windows;
  return code;
}

bool shortcut_process_key_message(shortcut_table& shortcuts, HWND window, const MSG& message,
                                  std::uint32_t modifiers) {
  if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return false;
  if (!window || find_top_level_window(message.hwnd) != window) return false;
  return shortcuts.run_shortcut(shortcut_key_code(message.wParam, modifiers));
}

bool shortcut_process_key_message(shortcut_table& shortcuts, HWND window, const MSG& message) {
  if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return false;
  return shortcut_process_key_message(shortcuts, window, message, get_modifier_key_state());
}
