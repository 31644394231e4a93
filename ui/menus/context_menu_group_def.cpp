#include "ui/menus/context_menu_group_def.h"

#include <cstdint>
#include <map>

#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/comparators.h"
#include "foundation/main_thread.h"

namespace {

class unnamed_group : public context_menu_group_def {
public:
  unnamed_group(const GUID& guid, const GUID& parent, int priority) noexcept
      : guid_(guid), parent_(parent), priority_(priority) {}
  GUID get_guid() override { return guid_; }
  GUID get_parent_guid() override { return parent_; }
  double get_priority() override { return priority_; }

private:
  GUID guid_;
  GUID parent_;
  double priority_;
};

class named_group : public context_menu_named_group {
public:
  named_group(const GUID& guid, const GUID& parent, double priority, const char* name) noexcept
      : guid_(guid), parent_(parent), priority_(priority), name_(name) {}
  GUID get_guid() override { return guid_; }
  GUID get_parent_guid() override { return parent_; }
  double get_priority() override { return priority_; }
  void get_name(qiv::string_object& output) override { output.set_string(name_); }

private:
  GUID guid_;
  GUID parent_;
  double priority_;
  const char* name_;
};

service_factory_single_t<named_group> root_group{context_menu_groups::root, GUID{}, 0.0, "Root"};
service_factory_single_t<named_group> tagging_group{context_menu_groups::tagging, context_menu_groups::root, -49.0,
                                                    "Tagging"};
service_factory_single_t<named_group> replaygain_group{context_menu_groups::replaygain, context_menu_groups::root,
                                                       -45.0, "ReplayGain"};
service_factory_single_t<unnamed_group> trailing_group{context_menu_groups::trailing, context_menu_groups::root, 100};


// GUID to the definition's place in the registry's list for the class.
struct group_index {
  std::map<GUID, std::uint32_t, qiv::guid_less> positions;
  bool built = false;
};
group_index the_index;

service_ptr<context_menu_group_def> create_group_def_at(const service_class_entry* entry, std::uint32_t position) {
  service_handle handle;
  if (!service_registry_table::create_instance(entry, position, handle)) return {};
  return service_query<context_menu_group_def>(handle.get());
}

}  // namespace

service_ptr<context_menu_group_def> find_context_menu_group(const GUID& guid) {
  const service_class_entry* entry = service_registry::find_class(context_menu_group_def::class_guid);
  if (entry == nullptr) return {};
  const bool may_build = qiv::main_thread_id() == 0 || running_on_main_thread();
  if (!the_index.built && !may_build) {
    for (std::uint32_t position = 0; position < entry->count; ++position) {
      service_ptr<context_menu_group_def> group = create_group_def_at(entry, position);
      if (group && group->get_guid() == guid) return group;
    }
    return {};
  }
  if (!the_index.built) {
    for (std::uint32_t position = 0; position < entry->count; ++position) {
      service_ptr<context_menu_group_def> group = create_group_def_at(entry, position);
      if (group) the_index.positions[group->get_guid()] = position;
    }
    the_index.built = true;
  }
  const auto found = the_index.positions.find(guid);
  if (found == the_index.positions.end()) return {};
  return create_group_def_at(entry, found->second);
}
