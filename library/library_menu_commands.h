// The library's two main-menu commands: "Monitor music folders" (a toggle)
// and "Refresh music folders now" (offered only while not monitoring).
#pragma once

#include "core/main_menu_group.h"

class library_menu_commands : public main_menu_group {
public:
  static constexpr GUID monitor_command = {0xF3176D0C, 0xEC94, 0x45BE, {0x8F, 0xC2, 0x6F, 0x3B, 0x54, 0x0B, 0xB4, 0x92}};
  static constexpr GUID refresh_command = {0xDAE3DBD3, 0x7697, 0x48D5, {0xAF, 0x02, 0xBC, 0xC2, 0xAF, 0x99, 0x1A, 0x86}};
  static constexpr std::uint32_t flag_checked = 2;
  static constexpr std::uint32_t flag_builder_option = 8;  // offered only in menus built with that option

  std::uint32_t get_command_count() override { return 2; }
  GUID get_command_guid(std::uint32_t index) override;
  void get_command_name(std::uint32_t index, qiv::string_object& output) override;
  GUID get_parent() override;
  // After every other group of the section.
  std::uint32_t get_sort_priority() override { return 0x80000000u; }
  // False leaves the command out of the menu.
  bool get_display(std::uint32_t index, qiv::string_object& text, std::uint32_t& flags) override;
  void execute(std::uint32_t index, service_handle context) override;
};
