// The keyboard shortcut table: key presses bound to main-menu and item
// context-menu commands by the commands' GUIDs, and the text of a binding
// that menus show after a tab.
#pragma once

#include <cstdint>
#include <string>

#include "core/service_object.h"
#include "foundation/string_object.h"
#include "metadata/track_handle.h"

// Low byte the virtual-key code, then the modifiers.
namespace shortcut_key {
inline constexpr std::uint32_t shift = 0x100;
inline constexpr std::uint32_t ctrl = 0x200;
inline constexpr std::uint32_t alt = 0x400;
inline constexpr std::uint32_t win = 0x800;
}  // namespace shortcut_key

struct shortcut_record {
  enum command_kind : std::uint32_t { main_menu = 0, context_menu = 1 };
  std::uint16_t key;
  // Bit 0: offered where a menu asks only for restricted shortcut texts.
  std::uint16_t flags;
  std::uint32_t kind;
  GUID command;
  // All zero for main-menu commands.
  GUID subcommand;
};

class keyboard_shortcuts : public service_object {
public:
  static constexpr GUID class_guid = {0x95DE5842, 0x30F5, 0x4F72, {0xB4, 0x0C, 0x19, 0x16, 0x63, 0x78, 0x2F, 0x80}};
  using service_parent = service_object;

  // Runs every binding of the key for that kind of command; true when one
  // ran. Context-menu bindings run on `tracks` and never on an empty list.
  virtual bool process_key(std::uint32_t kind, const track_handle_list& tracks, std::uint32_t key) = 0;
  virtual bool process_key_ex(std::uint32_t kind, const track_handle_list& tracks, std::uint32_t key,
                              const GUID& caller) = 0;
  // The key text of the first binding of the command; with `restricted`
  // only bindings whose flag bit 0 is set count. False when none.
  virtual bool get_shortcut_text(const GUID& command, const GUID& subcommand, qiv::string_object& output,
                                 std::uint32_t kind, bool restricted) = 0;
};

// The extension the main window uses for its own key presses.
class keyboard_shortcuts_main : public keyboard_shortcuts {
public:
  static constexpr GUID class_guid = {0xCD19C870, 0xDA6A, 0x4B8A, {0xA1, 0x18, 0x73, 0x2A, 0x81, 0x02, 0xD0, 0x7D}};
  using service_parent = keyboard_shortcuts;
  static constexpr bool service_is_extension = true;

  // The main window has no selection to hand over: only the first
  // main-menu binding of the key runs, and context-menu bindings are left
  // to the window's other key handling. True when a binding applied, also
  // when its command was not found.
  virtual bool process_key_main(std::uint32_t key) = 0;
};

// "Ctrl+P", "Shift+Alt+Delete", "Ctrl+Play / Pause (MM)".
std::string shortcut_key_text(std::uint32_t key);
