// The item context menu for one set of tracks: the context commands and
// their groups (ui/menus/context_menu_item.h, context_menu_group_def.h) made
// into a tree of menu nodes, and the command the user picked run on exactly
// the tracks the menu was built for.
//
// One manager serves one menu: obtain a fresh one, init it (which builds the
// tree), append the root's children to a popup menu with
// context_menu_build_popup (ui/menus/popup_menus.h), track the menu and hand
// the chosen id back to get_command_node. The manager must live until then.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/service_object.h"
#include "metadata/track_handle.h"
#include "ui/menus/popup_menus.h"

class context_menu_manager : public service_object, public context_menu_node_finder {
public:
  static constexpr GUID class_guid = {0xD3BD5F53, 0xA6D6, 0x4346, {0x99, 0x1F, 0xCF, 0x14, 0xDF, 0xAD, 0x2B, 0x3A}};
  using service_parent = service_object;

  // Build flags. 1 and 2 add the text of a keyboard shortcut after a tab (2:
  // only shortcuts offered in restricted menus); 4 forces the normal menu, 8
  // the extended one (8 wins). Without either the menu is extended while
  // Shift is held.
  static constexpr std::uint32_t flag_shortcuts = 1;
  static constexpr std::uint32_t flag_shortcuts_restricted = 2;
  static constexpr std::uint32_t flag_normal = 4;
  static constexpr std::uint32_t flag_extended = 8;

  void init(const track_handle_list& tracks, std::uint32_t flags) { init_with_caller(tracks, flags, GUID{}); }
  // The root popup of the tree; null before a build. A root without
  // children is a normal state: nothing applies to these tracks.
  virtual context_menu_node* get_root() = 0;
  // The command node with that local id (0, 1, 2 ... in menu order); null
  // when there is none.
  virtual context_menu_node* get_command_node(std::int32_t id) = 0;
  // The shortcut-table record kinds searched for shortcut texts, in order;
  // the item context-menu kind alone unless set.
  virtual void set_shortcut_kinds(const std::uint32_t* kinds, std::size_t count) = 0;
  // Main thread. Builds once: a manager that holds a tree ignores further
  // inits.
  virtual void init_with_caller(const track_handle_list& tracks, std::uint32_t flags, const GUID& caller) = 0;
  // Builds for the playing track with the now-playing caller; false (and no
  // change) when nothing is playing or a tree is already built.
  virtual bool init_now_playing(std::uint32_t flags) = 0;

  context_menu_node* find_by_id(std::int32_t id) override { return get_command_node(id); }
};

// A fresh manager from the registry (exactly one implementation).
service_ptr<context_menu_manager> context_menu_manager_create();
