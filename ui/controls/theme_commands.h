// The View menu's theme choice (a radio entry per theme under "Theme") and
// its album-picture toggle.
#pragma once

#include "core/main_menu_group.h"

class theme_commands : public main_menu_group {
public:
  std::uint32_t get_command_count() override;
  GUID get_command_guid(std::uint32_t index) override;
  void get_command_name(std::uint32_t index, qiv::string_object& output) override;
  GUID get_parent() override;
  std::uint32_t get_sort_priority() override;
  // The current theme is checked; a stored theme that is none of these
  // checks none.
  bool get_display(std::uint32_t index, qiv::string_object& text, std::uint32_t& flags) override;
  // Also choosing the current theme again tells the listeners.
  void execute(std::uint32_t index, service_handle context) override;
};

class album_pictures_command : public main_menu_group {
public:
  static constexpr GUID command_guid = {0x62F3FC7A, 0x757E, 0x4DEB, {0x9F, 0xFF, 0xEF, 0xDD, 0x47, 0x4C, 0x55, 0x1B}};

  std::uint32_t get_command_count() override { return 1; }
  GUID get_command_guid(std::uint32_t index) override;
  void get_command_name(std::uint32_t index, qiv::string_object& output) override;
  GUID get_parent() override;
  std::uint32_t get_sort_priority() override { return 1; }
  bool get_display(std::uint32_t index, qiv::string_object& text, std::uint32_t& flags) override;
  void execute(std::uint32_t index, service_handle context) override;
};
