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

  virtual std::uint32_t get_command_count() = 0;
  // Callers pass only indexes below the count.
  virtual GUID get_command(std::uint32_t index) = 0;
  // The command's text in the current language.
  virtual void get_command_name(std::uint32_t index, qiv::string_object& output) = 0;
  // The node of the menu tree the commands belong to.
  virtual GUID get_parent() = 0;
  // Runs the command; `context` may be empty.
  virtual void execute(std::uint32_t index, service_handle context) = 0;
};
