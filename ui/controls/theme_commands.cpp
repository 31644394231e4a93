#include "ui/controls/theme_commands.h"

#include "core/localized_text.h"
#include "core/menu_group_def.h"
#include "core/service_factory.h"
#include "foundation/crash.h"
#include "ui/controls/theme.h"

namespace {

struct theme_entry {
  GUID guid;
  const char* name_id;
};
constexpr theme_entry themes[] = {
    {theme_ids::classic, "theme_classic"},
    {theme_ids::black, "theme_black"},
    {theme_ids::white, "theme_white"},
    {theme_ids::graphite, "theme_graphite"},
};
constexpr std::uint32_t theme_count = sizeof(themes) / sizeof(themes[0]);

// A caller past the table has lost track of its menu.
const theme_entry& entry_at(std::uint32_t index) {
  if (index >= theme_count) qiv::crash();
  return themes[index];
}

void check_single_command(std::uint32_t index) {
  if (index != 0) qiv::crash();
}

service_factory_single_t<theme_commands> theme_commands_registration;
service_factory_single_t<album_pictures_command> album_pictures_registration;

}  // namespace

std::uint32_t theme_commands::get_command_count() { return theme_count; }
GUID theme_commands::get_command_guid(std::uint32_t index) { return entry_at(index).guid; }
void theme_commands::get_command_name(std::uint32_t index, qiv::string_object& output) {
  localized_text::get(entry_at(index).name_id, output);
}
GUID theme_commands::get_parent() { return main_menu_node::theme; }
// After every priority from 0 to 0x7FFFFFFF, before the negative ones.
std::uint32_t theme_commands::get_sort_priority() { return 0x80000000u; }

bool theme_commands::get_display(std::uint32_t index, qiv::string_object& text, std::uint32_t& flags) {
  get_command_name(index, text);
  flags = entry_at(index).guid == current_theme() ? flag_checked : 0;
  return true;
}

void theme_commands::execute(std::uint32_t index, service_handle context) {
  set_current_theme(entry_at(index).guid);
  theme_listeners::notify_theme_changed();
  context.reset();
}

GUID album_pictures_command::get_command_guid(std::uint32_t index) {
  check_single_command(index);
  return command_guid;
}
void album_pictures_command::get_command_name(std::uint32_t index, qiv::string_object& output) {
  check_single_command(index);
  localized_text::get("menu_show_album_pictures", output);
}
GUID album_pictures_command::get_parent() { return main_menu_node::view; }

bool album_pictures_command::get_display(std::uint32_t index, qiv::string_object& text, std::uint32_t& flags) {
  get_command_name(index, text);
  flags = album_pictures_shown() ? flag_checked : 0;
  return true;
}

void album_pictures_command::execute(std::uint32_t index, service_handle context) {
  check_single_command(index);
  set_album_pictures_shown(!album_pictures_shown());
  theme_listeners::notify_album_pictures_changed();
  context.reset();
}
