// A command group of the main menu: one or more commands that hang together
// under one node of the menu tree (core/menu_group_def.h). Commands are also
// run by GUID, from the command line, the media keys and keyboard shortcuts.
#pragma once

#include <cstdint>

#include "core/service_object.h"
#include "foundation/string_object.h"

class main_menu_group : public service_object {
public:
  static constexpr GUID class_guid = {0x35077B8C, 0x6E70, 0x47BA, {0xB9, 0xDD, 0xD5, 0x15, 0x00, 0xE1, 0x2F, 0x2E}};
  using service_parent = service_object;

  // Display flags of a command.
  static constexpr std::uint32_t flag_disabled = 1;
  static constexpr std::uint32_t flag_checked = 2;
  static constexpr std::uint32_t flag_radio = 4;
  // Shown only in a menu opened with Shift held.
  static constexpr std::uint32_t flag_extended = 8;

  virtual std::uint32_t get_command_count() = 0;
  // Callers pass only indexes below the count.
  virtual GUID get_command_guid(std::uint32_t index) = 0;
  // The command's text in the current language.
  virtual void get_command_name(std::uint32_t index, qiv::string_object& output) = 0;
  // The node of the menu tree the commands belong to.
  virtual GUID get_parent() = 0;
  // Among the groups of one node, smaller first; compared as unsigned
  // numbers like the priorities of the nodes.
  virtual std::uint32_t get_sort_priority() = 0;
  // What the menu shows; false leaves the command out. Unless a group says
  // otherwise: its name, no flags, shown.
  virtual bool get_display(std::uint32_t index, qiv::string_object& text, std::uint32_t& flags);
  // Runs the command; `context` may be empty.
  virtual void execute(std::uint32_t index, service_handle context) = 0;
};
