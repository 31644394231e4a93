// The service registry: the factory list sorted into a table by class GUID,
// built once at start-up on the main thread and read without a lock after.
#pragma once

#include <cstdint>

#include "core/service_factory.h"
#include "foundation/array.h"

// One class of the table: its GUID and its implementations' factory nodes.
struct service_class_entry {
  GUID guid;
  service_factory* const* first;
  std::uint32_t count;
};

// A registry table built from one factory list. The process has one (below);
// tests build their own from their own lists.
class service_registry_table {
public:
  void build(service_factory* list_head);
  void clear() noexcept;
  bool is_ready() const noexcept { return ready_; }

  // Binary search over the classes; null when the class has no implementation.
  const service_class_entry* find_class(const GUID& guid) const noexcept;
  // False when the entry is null or the index is not below its count.
  static bool create_instance(const service_class_entry* entry, std::uint32_t index, service_handle& out);

private:
  qiv::array<service_factory*> nodes_;
  qiv::array<service_class_entry> classes_;
  bool ready_ = false;
};

class exception_service_not_found : public qiv::exception_with_message {
public:
  exception_service_not_found() noexcept : exception_with_message("Service not found") {}
};

class exception_service_duplicated : public qiv::exception_with_message {
public:
  exception_service_duplicated() noexcept : exception_with_message("Service duplicated") {}
};

// Walks the implementations of one class, in the registry's order. An index
// whose creation fails ends the walk.
class service_enumerator {
public:
  service_enumerator(const service_class_entry* entry) noexcept : entry_(entry) {}
  bool next(service_handle& out);

private:
  std::uint32_t index_ = 0;
  const service_class_entry* entry_;
};

// The one implementation of a class in `table`: "Service not found" when there
// is none, "Service duplicated" when there are more.
service_handle service_lookup_unique(const service_registry_table& table, const GUID& guid);

// The process's registry.
namespace service_registry {

service_registry_table& table() noexcept;

// Start-up: builds the table from the factory list (the global one unless a
// test gives its own), insists on exactly one tag service, then makes every
// persistent store load.
void build(service_factory* list_head = service_factory::global_list_head);
// Shutdown: every persistent store saves (nothing when the profile is read-only).
void save_stores(bool reset_config);
void free() noexcept;

const service_class_entry* find_class(const GUID& guid) noexcept;

}  // namespace service_registry

service_handle service_lookup_unique(const GUID& guid);

// Typed helpers over the process registry.
template <class T>
service_ptr<T> service_lookup_unique_t() {
  service_handle handle = service_lookup_unique(T::class_guid);
  return service_ptr<T>(static_cast<T*>(handle.get()));
}

// for (auto& service : service_list_t<persistent_store>()) ...
template <class T>
qiv::array<service_ptr<T>> service_list_t(const service_registry_table& table = service_registry::table()) {
  qiv::array<service_ptr<T>> result;
  service_enumerator walk(table.find_class(T::class_guid));
  service_handle handle;
  while (walk.next(handle)) result.append(service_ptr<T>(static_cast<T*>(handle.get())));
  return result;
}
