#include "io/named_lock.h"

#include "core/io_exception_base.h"
#include "core/service_factory.h"
#include "foundation/avl_tree.h"
#include "foundation/string_small.h"
#include "foundation/win32_handles.h"

namespace {

class named_lock_impl;
using lock_object = service_counted<named_lock_impl>;

// A request waiting for a name. It lives on the stack of the acquiring
// thread; the queues only point to it, and the thread takes it out of its
// queue (under the registry lock) before the request goes away.
struct lock_request {
  lock_request(const char* name_text, bool exclusive_mode);

  const char* name;
  bool exclusive;
  // Made only for a request that has to wait: most are granted at once,
  // and an event costs a server round trip to make and another to close.
  win32_event event;
  // Built before the request queues, so that granting (which also happens
  // inside a release) never allocates and so never fails.
  service_ptr<named_lock> lock;
  lock_object* object = nullptr;
  bool granted = false;
  bool queued = false;
  lock_request* previous = nullptr;
  lock_request* next = nullptr;
};

// The requests for one name in one mode, oldest first.
struct request_queue {
  lock_request* head = nullptr;
  lock_request* tail = nullptr;
  std::uint32_t count = 0;

  void push_back(lock_request* request) noexcept {
    request->previous = tail;
    request->next = nullptr;
    (tail ? tail->next : head) = request;
    tail = request;
    ++count;
  }

  void remove(lock_request* request) noexcept {
    (request->previous ? request->previous->next : head) = request->next;
    (request->next ? request->next->previous : tail) = request->previous;
    request->previous = request->next = nullptr;
    --count;
  }
};

// Everything known of a name; the entry exists while the name is held or
// awaited.
struct name_entry {
  std::uint32_t exclusive_holders = 0;
  std::uint32_t shared_holders = 0;
  request_queue exclusive_waiting;
  request_queue shared_waiting;

  bool is_unused() const noexcept {
    return exclusive_holders == 0 && shared_holders == 0 && exclusive_waiting.count == 0 && shared_waiting.count == 0;
  }
};

// Names compare byte-wise: paths differing only in letter case are different
// names.
using name_map = qiv::avl_map<qiv::string_small, name_entry, qiv::text_order>;

struct registry_state {
  critical_section lock;
  name_map names;
};

registry_state& lock_registry_state() {
  static registry_state instance;
  return instance;
}

void remove_if_unused(registry_state& registry, const char* name) noexcept {
  if (const auto* node = registry.names.find(name); node && node->value.is_unused()) registry.names.remove(name);
}

class named_lock_impl : public named_lock {
public:
  named_lock_impl(const char* name, bool exclusive) : name_(name), exclusive_(exclusive) {}

  ~named_lock_impl() {
    if (registered_) unregister();
  }

  bool has_waiters() override {
    registry_state& registry = lock_registry_state();
    critical_section_lock guard(registry.lock);
    const auto* node = registry.names.find(name_);
    if (!node) return false;
    if (exclusive_) return node->value.exclusive_waiting.count != 0 || node->value.shared_waiting.count != 0;
    return node->value.exclusive_waiting.count != 0;
  }

  // Under the registry lock.
  void register_holder(name_entry& entry) noexcept {
    ++(exclusive_ ? entry.exclusive_holders : entry.shared_holders);
    registered_ = true;
  }

private:
  void unregister() noexcept;

  const qiv::string_small name_;
  const bool exclusive_;
  bool registered_ = false;
};

// Under the registry lock.
void grant(request_queue& queue, lock_request* request, name_entry& entry) noexcept {
  request->object->register_holder(entry);
  request->granted = true;
  request->queued = false;
  queue.remove(request);
  // The waiter cannot leave before it takes the registry lock, which the
  // caller holds, so the event is still alive here. A request granted while
  // it is being made has no event and is not waited for.
  if (request->event.get() != nullptr) SetEvent(request->event.get());
}

// Under the registry lock, after every new request and every release.
// Writers go first: while one waits, readers queue behind it.
void grant_waiting(name_entry& entry) noexcept {
  if (entry.exclusive_waiting.count != 0) {
    if (entry.exclusive_holders == 0 && entry.shared_holders == 0)
      grant(entry.exclusive_waiting, entry.exclusive_waiting.head, entry);
    return;
  }
  if (entry.exclusive_holders != 0) return;
  while (entry.shared_waiting.head) grant(entry.shared_waiting, entry.shared_waiting.head, entry);
}

void named_lock_impl::unregister() noexcept {
  registry_state& registry = lock_registry_state();
  critical_section_lock guard(registry.lock);
  auto* node = registry.names.find(name_);
  if (!node) return;  // cannot happen: a registered holder keeps its entry
  name_entry& entry = node->value;
  --(exclusive_ ? entry.exclusive_holders : entry.shared_holders);
  grant_waiting(entry);
  remove_if_unused(registry, name_.get_ptr());
}

lock_request::lock_request(const char* name_text, bool exclusive_mode) : name(name_text), exclusive(exclusive_mode) {
  if (!name) qiv::throw_invalid_params();
  object = new lock_object(name, exclusive);
  lock = object;
}

// Takes a waiting request out of its queue however the wait ended; a grant
// that came too late (the caller is leaving by an exception) is given back
// at once by dropping the request's reference.
class request_cleanup {
public:
  explicit request_cleanup(lock_request& request) noexcept : request_(request) {}
  ~request_cleanup() {
    {
      registry_state& registry = lock_registry_state();
      critical_section_lock guard(registry.lock);
      if (request_.queued) {
        auto* node = registry.names.find(request_.name);
        name_entry& entry = node->value;
        (request_.exclusive ? entry.exclusive_waiting : entry.shared_waiting).remove(&request_);
        request_.queued = false;
        // A writer that gives up waiting no longer holds back the readers
        // queued behind it.
        grant_waiting(entry);
        remove_if_unused(registry, request_.name);
      }
    }
    // Outside the registry lock: the release of a granted lock takes it.
    request_.lock.reset();
  }

private:
  lock_request& request_;
};

void acquire_lock(service_ptr<named_lock>& out, const char* name, bool exclusive, const abort_signal& abort) {
  lock_request request(name, exclusive);
  request_cleanup cleanup(request);
  registry_state& registry = lock_registry_state();
  bool granted_at_once = false;
  {
    critical_section_lock guard(registry.lock);
    name_entry& entry = registry.names.insert(name).node->value;
    (exclusive ? entry.exclusive_waiting : entry.shared_waiting).push_back(&request);
    request.queued = true;
    grant_waiting(entry);
    granted_at_once = request.granted;
    // Made before the registry lock is let go, so a later grant finds it.
    if (!granted_at_once) request.event.create();
  }
  if (granted_at_once) {
    out = request.lock;
    return;
  }
  // The request's event comes first, so a grant wins over an abort that
  // arrives at the same moment.
  const HANDLE objects[2] = {request.event.get(), abort.get_event()};
  switch (WaitForMultipleObjects(2, objects, FALSE, INFINITE)) {
    case WAIT_OBJECT_0: out = request.lock; return;
    case WAIT_OBJECT_0 + 1: throw vantrel_io::exception_aborted();
    default: throw exception_win32(GetLastError());
  }
}

class named_lock_registry_impl : public named_lock_registry {
public:
  void acquire(service_ptr<named_lock>& out, const char* name, int mode, const abort_signal& abort) override {
    acquire_lock(out, name, mode == 1, abort);
  }
};

service_factory_single_t<named_lock_registry_impl> named_lock_registry_registration;

} // namespace

void named_lock::acquire(service_ptr<named_lock>& out, const char* name, const abort_signal& abort) {
  named_lock_registry_registration.get_static_instance().acquire(out, name, 0, abort);
}

void named_lock::acquire_exclusive(service_ptr<named_lock>& out, const char* name, const abort_signal& abort) {
  named_lock_registry_registration.get_static_instance().acquire(out, name, 1, abort);
}

named_lock_state named_lock_query_state(const char* name) {
  registry_state& registry = lock_registry_state();
  critical_section_lock guard(registry.lock);
  named_lock_state answer;
  if (const auto* node = registry.names.find(name)) {
    answer.exclusive_holders = node->value.exclusive_holders;
    answer.shared_holders = node->value.shared_holders;
    answer.exclusive_waiting = node->value.exclusive_waiting.count;
    answer.shared_waiting = node->value.shared_waiting.count;
  }
  return answer;
}

std::uint32_t named_lock_tracked_name_count() {
  registry_state& registry = lock_registry_state();
  critical_section_lock guard(registry.lock);
  return registry.names.count();
}
