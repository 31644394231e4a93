// The Preferences command of the File menu.
#pragma once

#include "core/main_menu_group.h"

class preferences_menu_group : public main_menu_group {
public:
  // Also bound to a keyboard shortcut, which finds the command by this GUID.
  static constexpr GUID command_guid = {0x11213A01, 0x9F36, 0x4E69, {0xA1, 0xBB, 0x7A, 0x72, 0xF4, 0x18, 0xDE, 0x3A}};

  std::uint32_t get_command_count() override;
  GUID get_command_guid(std::uint32_t index) override;
  void get_command_name(std::uint32_t index, qiv::string_object& output) override;
  GUID get_parent() override;
  std::uint32_t get_sort_priority() override;
  // Opens the preferences dialog; with no user interface installed there is
  // no dialog to open, and the command does nothing.
  void execute(std::uint32_t index, service_handle context) override;
};
