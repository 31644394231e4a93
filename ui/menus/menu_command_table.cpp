#include "ui/menus/menu_command_table.h"

#include "core/localized_text.h"
#include "foundation/crash.h"

const menu_command_entry& menu_command_table::entry(std::uint32_t index) const {
  if (index >= commands_.size()) qiv::crash();
  return commands_[index];
}

std::uint32_t menu_command_table::get_command_count() { return static_cast<std::uint32_t>(commands_.size()); }

GUID menu_command_table::get_command_guid(std::uint32_t index) { return entry(index).guid; }

void menu_command_table::get_command_name(std::uint32_t index, qiv::string_object& output) {
  localized_text::get(entry(index).name_id, output);
}

GUID menu_command_table::get_parent() { return parent_; }

std::uint32_t menu_command_table::get_sort_priority() { return sort_priority_; }

bool menu_command_table::get_display(std::uint32_t index, qiv::string_object& text, std::uint32_t& flags) {
  flags = entry(index).fixed_flags;
  get_command_name(index, text);
  return true;
}
