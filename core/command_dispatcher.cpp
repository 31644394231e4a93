#include "core/command_dispatcher.h"

#include "core/main_menu_group.h"
#include "core/service_registry.h"

bool run_group_command_by_guid(const GUID& command) {
  const service_class_entry* entry = service_registry::find_class(command_dispatcher::class_guid);
  if (entry == nullptr || entry->count == 0) return false;
  const service_ptr<command_dispatcher> dispatcher = service_lookup_unique_t<command_dispatcher>();
  service_handle owner;
  std::uint32_t index = 0;
  if (!dispatcher->find_group_command(command, owner, index)) return false;
  const service_ptr<main_menu_group> group = service_query<main_menu_group>(owner.get());
  if (!group) return false;
  group->execute(index, service_handle());
  return true;
}
