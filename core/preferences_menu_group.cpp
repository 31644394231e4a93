#include "core/preferences_menu_group.h"

#include "core/localized_text.h"
#include "core/menu_group_def.h"
#include "core/service_registry.h"
#include "core/ui_control.h"
#include "foundation/crash.h"

namespace {

// The group has one command; a caller asking for another has lost track of
// the menu and nothing it could be given would be right.
void check_command_index(std::uint32_t index) {
  if (index != 0) qiv::crash();
}

service_factory_single_t<preferences_menu_group> preferences_menu_group_registration;

}  // namespace

std::uint32_t preferences_menu_group::get_command_count() { return 1; }

GUID preferences_menu_group::get_command_guid(std::uint32_t index) {
  check_command_index(index);
  return command_guid;
}

void preferences_menu_group::get_command_name(std::uint32_t index, qiv::string_object& output) {
  check_command_index(index);
  localized_text::get("menu_preferences", output);
}

GUID preferences_menu_group::get_parent() { return main_menu_node::preferences_section; }

std::uint32_t preferences_menu_group::get_sort_priority() { return 0; }

void preferences_menu_group::execute(std::uint32_t index, service_handle) {
  check_command_index(index);
  const service_class_entry* entry = service_registry::find_class(ui_control::class_guid);
  if (entry == nullptr || entry->count == 0) return;
  service_lookup_unique_t<ui_control>()->show_preferences(GUID{});
}
