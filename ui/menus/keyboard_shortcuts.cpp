#include "ui/menus/keyboard_shortcuts.h"

#include <vector>

#include "core/command_dispatcher.h"
#include "core/main_menu_group.h"
#include "core/service_factory.h"
#include "foundation/crash.h"
#include "foundation/main_thread.h"
#include "foundation/string_small.h"
#include "foundation/win32_text.h"
#include "ui/menus/command_lookup.h"
#include "ui/menus/context_menu_item.h"

namespace {

constexpr GUID preferences_command = {0x11213A01, 0x9F36, 0x4E69, {0xA1, 0xBB, 0x7A, 0x72, 0xF4, 0x18, 0xDE, 0x3A}};

const std::vector<shortcut_record> default_table = {
    {shortcut_key::ctrl | 'P', 0, shortcut_record::main_menu, preferences_command, GUID{}},
    {shortcut_key::alt | VK_RETURN, 0, shortcut_record::context_menu, context_menu_commands::properties, GUID{}},
};

// True also when the command was not found: the key was meant for it.
bool run_main_menu_record(const shortcut_record& record) {
  run_group_command_by_guid(record.command);
  return true;
}

bool run_record(const shortcut_record& record, const track_handle_list& tracks, const GUID& caller) {
  if (record.kind == shortcut_record::main_menu) return run_group_command_by_guid(record.command);
  if (record.kind == shortcut_record::context_menu && !tracks.empty())
    return run_context_command_by_guid(record.command, record.subcommand, tracks, caller);
  return false;
}

class shortcut_table : public keyboard_shortcuts_main {
public:
  bool process_key(std::uint32_t kind, const track_handle_list& tracks, std::uint32_t key) override {
    return process_key_ex(kind, tracks, key, GUID{});
  }

  bool process_key_ex(std::uint32_t kind, const track_handle_list& tracks, std::uint32_t key,
                      const GUID& caller) override {
    bool ran = false;
    for (const shortcut_record& record : table_)
      if (record.kind == kind && record.key == (key & 0xFFFF) && run_record(record, tracks, caller)) ran = true;
    return ran;
  }

  bool get_shortcut_text(const GUID& command, const GUID& subcommand, qiv::string_object& output, std::uint32_t kind,
                         bool restricted) override {
    require_main_thread();
    for (const shortcut_record& record : table_) {
      if (record.kind != kind || record.command != command || record.subcommand != subcommand) continue;
      if (restricted && (record.flags & 1) == 0) continue;
      output.set_string(shortcut_key_text(record.key).c_str());
      return true;
    }
    return false;
  }

  bool process_key_main(std::uint32_t key) override {
    require_main_thread();
    for (const shortcut_record& record : table_) {
      if (record.key != (key & 0xFFFF)) continue;
      if (record.kind != shortcut_record::main_menu) continue;  // no selection to run it on
      return run_main_menu_record(record);
    }
    return false;
  }

private:
  std::vector<shortcut_record> table_ = default_table;
};

service_factory_single_t<shortcut_table> shortcut_table_registration;

const char* media_key_name(std::uint32_t code) {
  switch (code) {
    case 0x13: return "Pause";
    case 0x21: return "Page Up";
    case 0x22: return "Page Down";
    case 0x23: return "End";
    case 0x24: return "Home";
    case 0x25: return "Left";
    case 0x26: return "Up";
    case 0x27: return "Right";
    case 0x28: return "Down";
    case 0x2D: return "Insert";
    case 0x2E: return "Delete";
    case 0x90: return "Num Lock";
    case 0xAA: return "Search (MM)";
    case 0xAB: return "Favourites (MM)";
    case 0xAC: return "Home (MM)";
    case 0xAD: return "Mute (MM)";
    case 0xAE: return "Volume Down (MM)";
    case 0xAF: return "Volume Up (MM)";
    case 0xB0: return "Next (MM)";
    case 0xB1: return "Previous (MM)";
    case 0xB2: return "Stop (MM)";
    case 0xB3: return "Play / Pause (MM)";
    case 0xB4: return "Email (MM)";
    case 0xB5: return "Media (MM)";
    default: return nullptr;
  }
}

std::string system_key_name(std::uint32_t code) {
  const UINT scan_code = MapVirtualKeyW(code, MAPVK_VK_TO_VSC);
  wchar_t name[64] = {};
  const int length = GetKeyNameTextW(static_cast<LONG>(scan_code << 16), name, 64);
  if (length <= 0) return "(unknown)";
  qiv::string_small text;
  wide_to_utf8(name, text);
  return text.get_ptr();
}

}  // namespace

std::string shortcut_key_text(std::uint32_t key) {
  const std::uint32_t code = key & 0xFF;
  std::string text;
  auto add = [&](const char* name) {
    if (!text.empty()) text += '+';
    text += name;
  };
  // A modifier pressed alone is named once, as the key.
  if ((key & shortcut_key::shift) != 0 && code != VK_SHIFT) add("Shift");
  if ((key & shortcut_key::ctrl) != 0 && code != VK_CONTROL) add("Ctrl");
  if ((key & shortcut_key::alt) != 0 && code != VK_MENU) add("Alt");
  if ((key & shortcut_key::win) != 0) add("Win");
  if (!text.empty()) text += '+';
  const char* fixed = media_key_name(code);
  text += fixed != nullptr ? std::string(fixed) : system_key_name(code);
  return text;
}
