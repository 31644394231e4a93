#include "core/service_registry.h"

#include "core/app_exceptions.h"
#include "core/app_state.h"
#include "core/persistent_store.h"
#include "core/tag_service.h"
#include "foundation/comparators.h"

void service_registry_table::build(service_factory* list_head) {
  clear();
  std::uint32_t count = 0;
  for (service_factory* node = list_head; node != nullptr; node = node->next()) ++count;
  nodes_.set_size(count);
  std::uint32_t index = 0;
  for (service_factory* node = list_head; node != nullptr; node = node->next()) nodes_.set(index++, node);

  // Random pivots: implementations of one class come out in no fixed order,
  // so callers that need an order impose their own.
  nodes_.sort([](service_factory* a, service_factory* b) { return qiv::guid_compare(a->class_guid(), b->class_guid()); });

  std::uint32_t class_count = 0;
  for (std::uint32_t i = 0; i < count; ++i)
    if (i == 0 || nodes_[i]->class_guid() != nodes_[i - 1]->class_guid()) ++class_count;
  classes_.set_size(class_count);
  std::uint32_t entry = 0;
  for (std::uint32_t i = 0; i < count;) {
    std::uint32_t end = i + 1;
    while (end < count && nodes_[end]->class_guid() == nodes_[i]->class_guid()) ++end;
    classes_.set(entry++, service_class_entry{nodes_[i]->class_guid(), nodes_.data() + i, end - i});
    i = end;
  }
  ready_ = true;
}

void service_registry_table::clear() noexcept {
  ready_ = false;
  classes_.set_size(0);
  nodes_.set_size(0);
}

const service_class_entry* service_registry_table::find_class(const GUID& guid) const noexcept {
  std::uint32_t low = 0;
  std::uint32_t high = classes_.get_count();
  while (low < high) {
    const std::uint32_t middle = low + (high - low) / 2;
    const int order = qiv::guid_compare(classes_[middle].guid, guid);
    if (order == 0) return &classes_[middle];
    if (order > 0) high = middle;
    else low = middle + 1;
  }
  return nullptr;
}

bool service_registry_table::create_instance(const service_class_entry* entry, std::uint32_t index,
                                             service_handle& out) {
  if (entry == nullptr || index >= entry->count) return false;
  entry->first[index]->create(out);
  return true;
}

bool service_enumerator::next(service_handle& out) {
  const std::uint32_t index = index_++;
  service_handle created;
  if (!service_registry_table::create_instance(entry_, index, created) || !created) return false;
  out = std::move(created);
  return true;
}

service_handle service_lookup_unique(const service_registry_table& table, const GUID& guid) {
  const service_class_entry* entry = table.find_class(guid);
  if (entry == nullptr || entry->count == 0) throw exception_service_not_found();
  if (entry->count > 1) throw exception_service_duplicated();
  service_handle handle;
  // A factory that declines to create is as good as none: callers call
  // through what they get.
  if (!service_registry_table::create_instance(entry, 0, handle) || !handle) throw exception_service_not_found();
  return handle;
}

service_handle service_lookup_unique(const GUID& guid) { return service_lookup_unique(service_registry::table(), guid); }

namespace service_registry {

service_registry_table& table() noexcept {
  static service_registry_table registry;
  return registry;
}

void build(service_factory* list_head) {
  table().build(list_head);
  const service_class_entry* tags = find_class(tag_service::class_guid);
  if (tags == nullptr || tags->count != 1) throw exception_installdamaged();
  for (auto& store : service_list_t<persistent_store>()) store->load();
}

void save_stores(bool reset_config) {
  if (app::state().profile_read_only) return;
  for (auto& store : service_list_t<persistent_store>()) store->save(reset_config);
}

void free() noexcept { table().clear(); }

const service_class_entry* find_class(const GUID& guid) noexcept { return table().find_class(guid); }

}  // namespace service_registry
