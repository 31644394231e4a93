// A main-menu group whose commands are a fixed table: the shell's File,
// Playback and Help commands are built on it.
#pragma once

#include <cstdint>
#include <span>

#include "core/main_menu_group.h"

// One command of a table-driven group: its text id, its GUID and the display
// flags it always has (main_menu_group::flag_extended for entries that only
// a menu opened with Shift shows).
struct menu_command_entry {
  const char* name_id;
  GUID guid;
  std::uint32_t fixed_flags = 0;
};

// A main-menu group whose commands are a fixed table. Every command is
// enabled. An index at or past the count means the caller lost track of the
// menu; nothing it could be given would be right, so that is fatal.
class menu_command_table : public main_menu_group {
public:
  menu_command_table(std::span<const menu_command_entry> commands, const GUID& parent,
                     std::uint32_t sort_priority) noexcept
      : commands_(commands), parent_(parent), sort_priority_(sort_priority) {}

  std::uint32_t get_command_count() override;
  GUID get_command_guid(std::uint32_t index) override;
  void get_command_name(std::uint32_t index, qiv::string_object& output) override;
  GUID get_parent() override;
  std::uint32_t get_sort_priority() override;
  // The name with the entry's fixed flags.
  bool get_display(std::uint32_t index, qiv::string_object& text, std::uint32_t& flags) override;

protected:
  const menu_command_entry& entry(std::uint32_t index) const;

private:
  std::span<const menu_command_entry> commands_;
  GUID parent_;
  std::uint32_t sort_priority_;
};
