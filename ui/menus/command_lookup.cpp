#include "ui/menus/command_lookup.h"

#include <map>

#include "core/command_dispatcher.h"
#include "core/main_menu_group.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/comparators.h"
#include "foundation/crash.h"
#include "foundation/main_thread.h"

namespace {


struct command_place {
  std::uint32_t position;  // in the registry's list of the class
  std::uint32_t index;     // of the command in its service
};

// One per kind of command, built on first use and kept: the registry never
// changes after start-up.
struct command_index {
  std::map<GUID, command_place, qiv::guid_less> places;
  bool built = false;
};

// require_main_thread without is_main_thread's warning to the debugger.
void require_main_thread_silently() {
  if (qiv::main_thread_id() != 0 && !running_on_main_thread()) qiv::crash();
}

// The registry said the implementation is there; one that cannot be made
// now means the registry itself is broken.
template <class Service>
service_ptr<Service> create_at(const service_class_entry* entry, std::uint32_t position) {
  service_handle handle;
  if (!service_registry_table::create_instance(entry, position, handle)) qiv::crash();
  service_ptr<Service> service = service_query<Service>(handle.get());
  if (!service) qiv::crash();
  return service;
}

bool find_in_group(main_menu_group& group, const GUID& command, std::uint32_t& index) {
  const std::uint32_t count = group.get_command_count();
  for (std::uint32_t i = 0; i < count; ++i) {
    if (group.get_command_guid(i) != command) continue;
    index = i;
    return true;
  }
  return false;
}

class command_lookup : public command_dispatcher {
public:
  bool find_context_command(const GUID& command, service_handle& owner, std::uint32_t& index) override {
    require_main_thread_silently();
    const service_class_entry* entry = service_registry::find_class(context_menu_item::class_guid);
    if (!context_index_.built) {
      for (std::uint32_t position = 0; entry != nullptr && position < entry->count; ++position) {
        service_ptr<context_menu_item> item = create_at<context_menu_item>(entry, position);
        const std::uint32_t count = item->get_count();
        for (std::uint32_t i = 0; i < count; ++i) context_index_.places[item->get_guid(i)] = {position, i};
      }
      context_index_.built = true;
    }
    const auto found = context_index_.places.find(command);
    if (found == context_index_.places.end()) return false;
    owner = create_at<context_menu_item>(entry, found->second.position).get();
    index = found->second.index;
    return true;
  }

  // Groups may change their commands while the program runs (the theme
  // group), so a hit is checked against the group's current answer and a
  // miss falls back to asking every group.
  bool find_group_command(const GUID& command, service_handle& owner, std::uint32_t& index) override {
    require_main_thread_silently();
    const service_class_entry* entry = service_registry::find_class(main_menu_group::class_guid);
    if (entry == nullptr) return false;
    if (!group_index_.built) {
      for (std::uint32_t position = 0; position < entry->count; ++position) {
        service_ptr<main_menu_group> group = create_at<main_menu_group>(entry, position);
        const std::uint32_t count = group->get_command_count();
        for (std::uint32_t i = 0; i < count; ++i) group_index_.places[group->get_command_guid(i)] = {position, i};
      }
      group_index_.built = true;
    }
    const auto found = group_index_.places.find(command);
    if (found != group_index_.places.end()) {
      service_ptr<main_menu_group> group = create_at<main_menu_group>(entry, found->second.position);
      const std::uint32_t i = found->second.index;
      if (i < group->get_command_count() && group->get_command_guid(i) == command) {
        owner = group.get();
        index = i;
        return true;
      }
      if (find_in_group(*group, command, index)) {
        owner = group.get();
        return true;
      }
    }
    for (std::uint32_t position = 0; position < entry->count; ++position) {
      service_ptr<main_menu_group> group = create_at<main_menu_group>(entry, position);
      if (!find_in_group(*group, command, index)) continue;
      owner = group.get();
      return true;
    }
    return false;
  }

private:
  command_index context_index_;
  command_index group_index_;
};

service_factory_single_t<command_lookup> command_lookup_registration;

}  // namespace

bool find_context_command_by_guid(const GUID& command, service_ptr<context_menu_item>& owner, std::uint32_t& index) {
  const service_class_entry* entry = service_registry::find_class(command_dispatcher::class_guid);
  if (entry == nullptr || entry->count == 0) return false;
  service_handle found;
  if (!service_lookup_unique_t<command_dispatcher>()->find_context_command(command, found, index)) return false;
  owner = service_query<context_menu_item>(found.get());
  return static_cast<bool>(owner);
}

bool run_context_command_by_guid(const GUID& command, const GUID& subcommand, const track_handle_list& tracks,
                                 const GUID& caller) {
  service_ptr<context_menu_item> owner;
  std::uint32_t index = 0;
  if (!find_context_command_by_guid(command, owner, index)) return false;
  owner->execute_subcommand(index, subcommand, tracks, caller);
  return true;
}
