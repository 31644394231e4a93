#include "core/main_menu_group.h"

bool main_menu_group::get_display(std::uint32_t index, qiv::string_object& text, std::uint32_t& flags) {
  flags = 0;
  get_command_name(index, text);
  return true;
}
