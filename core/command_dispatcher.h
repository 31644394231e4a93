// Finding a menu command by its GUID. The user interface, which builds the
// menus, registers the one dispatcher; the command line and the media keys
// run commands through it.
#pragma once

#include <cstdint>

#include "core/service_object.h"

class command_dispatcher : public service_object {
public:
  static constexpr GUID class_guid = {0xAC70ECDC, 0x0E1D, 0x4DB2, {0x9C, 0xD0, 0xC9, 0xB8, 0xA9, 0xCD, 0x28, 0xFA}};
  using service_parent = service_object;

  // The context-menu item that owns the command and its index there; false
  // when no command has the GUID.
  virtual bool find_context_command(const GUID& command, service_handle& owner, std::uint32_t& index) = 0;
  // The main-menu group that owns the command and its index there; false
  // when no command has the GUID.
  virtual bool find_group_command(const GUID& command, service_handle& owner, std::uint32_t& index) = 0;
};

// Runs the main-menu command with this GUID. False when no command has it,
// and also while no dispatcher is registered (a program without its user
// interface has no menus to run).
bool run_group_command_by_guid(const GUID& command);
