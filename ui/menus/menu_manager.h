// The main menu's popups: the menu nodes and command groups of
// core/menu_group_def.h and core/main_menu_group.h made into a Win32 menu,
// and the command the user picked from it run.
//
// One manager serves one menu: obtain a fresh one, build it from a node,
// append its items to a menu of your own, track that menu and hand the
// chosen id (less the first id) back to run. The tree and the ids stay valid
// after the menu is gone.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/service_object.h"

class menu_manager : public service_object {
public:
  static constexpr GUID class_guid = {0x350B3EA8, 0x6B3E, 0x4346, {0xB6, 0xD2, 0x79, 0x9E, 0x98, 0xEF, 0xC9, 0x20}};
  using service_parent = service_object;

  // Append flags. 1 and 2 add the text of a keyboard shortcut after a tab
  // (2: only shortcuts offered in restricted menus); 4 the normal menu, 8
  // the extended one with the commands shown only with Shift; without
  // either the menu is extended while Shift is held.
  static constexpr std::uint32_t flag_shortcuts = 1;
  static constexpr std::uint32_t flag_shortcuts_restricted = 2;
  static constexpr std::uint32_t flag_normal = 4;
  static constexpr std::uint32_t flag_extended = 8;

  // What append_items put into the menu.
  enum fill_result : std::uint32_t { filled_nothing = 0, filled_disabled_only = 1, filled_enabled = 2 };

  // Main thread. Builds the tree below the node; throws "Menu group not
  // found" for a GUID no node has.
  virtual void build(const GUID& root) = 0;
  // Main thread. Appends the root's children with ids from first_id on; a
  // command whose local id is not below id_count throws
  // qiv::exception_overflow.
  virtual fill_result append_items(HMENU menu, std::uint32_t first_id, std::uint32_t id_count,
                                   std::uint32_t flags) = 0;
  // Main thread. Runs the command of the local id with the context; false
  // when no command has the id.
  virtual bool run(std::uint32_t local_id, service_handle context) = 0;
};
