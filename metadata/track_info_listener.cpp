#include "metadata/track_info_listener.h"

#include <algorithm>
#include <functional>
#include <new>

#include "core/main_thread_guard.h"
#include "foundation/win32_handles.h"

namespace {

// Registration is main-thread only. The set is copied before the calls, so a
// callback may unregister itself while it is told; the lock keeps that copy
// sound should a publisher ever run off the main thread.
struct callback_set {
  critical_section lock;
  std::vector<track_info_change_callback*> callbacks;
};

// Never destroyed, and made in static storage: its first use, which may come
// as memory runs out, takes none from the heap.
callback_set& callbacks() noexcept {
  alignas(callback_set) static unsigned char storage[sizeof(callback_set)];
  static callback_set* const set = new (storage) callback_set;
  return *set;
}

} // namespace

void track_info_changed_register(track_info_change_callback& callback) {
  main_thread_guard::check();
  callback_set& set = callbacks();
  critical_section_lock hold(set.lock);
  if (std::find(set.callbacks.begin(), set.callbacks.end(), &callback) == set.callbacks.end()) {
    set.callbacks.push_back(&callback);
  }
}

void track_info_changed_unregister(track_info_change_callback& callback) {
  main_thread_guard::check();
  callback_set& set = callbacks();
  critical_section_lock hold(set.lock);
  std::erase(set.callbacks, &callback);
}

void track_info_publish(const track_handle_list& handles, std::uint8_t flag, const service_registry_table& table) {
  if (handles.empty()) return;
  track_handle_list unique_handles;
  const track_handle_list* delivered = &handles;
  if (handles.size() > 1) {
    unique_handles = handles;
    const auto identity = [](const track_handle_ptr& a, const track_handle_ptr& b) {
      return std::less<const track_handle*>()(a.get(), b.get());
    };
    std::sort(unique_handles.begin(), unique_handles.end(), identity);
    const auto same = [](const track_handle_ptr& a, const track_handle_ptr& b) { return a.get() == b.get(); };
    unique_handles.erase(std::unique(unique_handles.begin(), unique_handles.end(), same), unique_handles.end());
    delivered = &unique_handles;
  }

  service_enumerator walk(table.find_class(track_info_listener::class_guid));
  service_handle service;
  while (walk.next(service)) static_cast<track_info_listener*>(service.get())->on_info_changed(*delivered, flag);

  std::vector<track_info_change_callback*> current;
  {
    callback_set& set = callbacks();
    critical_section_lock hold(set.lock);
    current = set.callbacks;
  }
  for (track_info_change_callback* callback : current) callback->on_info_changed(*delivered, flag);
}
