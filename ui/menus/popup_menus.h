// Menu trees made into Win32 popup menus, and the chosen item run.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/service_object.h"

// One node of a menu tree; the tree's owner keeps it alive while a menu is
// built from it.
class context_menu_node {
public:
  enum node_kind : std::uint32_t { kind_popup = 0, kind_command = 1, kind_separator = 2 };
  enum node_flags : std::uint32_t { flag_checked = 1, flag_disabled = 2, flag_grayed = 4, flag_radio = 8 };

  virtual std::uint32_t kind() = 0;
  virtual const char* text() = 0;  // UTF-8
  virtual std::uint32_t child_count() = 0;
  virtual context_menu_node* child(std::uint32_t index) = 0;  // null when none
  virtual std::uint32_t flags() = 0;
  // Negative: no command.
  virtual std::int32_t command_id() = 0;
  virtual void run() = 0;

protected:
  ~context_menu_node() = default;
};

// Finds the node of a command id in the tree it handed out.
class context_menu_node_finder {
public:
  virtual context_menu_node* find_by_id(std::int32_t id) = 0;

protected:
  ~context_menu_node_finder() = default;
};

UINT context_menu_node_flags_to_mf(std::uint32_t flags);
// Appends the children of `node` (a popup) to `menu`: command items get the
// id base + command id; with a limit of 0 or more, ids from the limit on are
// left out.
void context_menu_build_popup(HMENU menu, context_menu_node* node, std::int32_t base, std::int32_t limit);
// Runs the node of that command id; false when there is none.
bool context_menu_run_command(context_menu_node_finder& manager, std::int32_t id);
