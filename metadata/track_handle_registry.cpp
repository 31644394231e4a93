#include "metadata/track_handle_registry.h"

#include <cstring>
#include <map>

#include "foundation/win32_handles.h"
#include "foundation/crc32.h"

// The registry lock also guards every handle's reference count, so that a
// lookup can never find a handle whose last release is under way: the count
// reaches 0 and the handle leaves the tree within one hold of the lock.
class track_handle_table {
public:
  static track_handle_table& instance() noexcept {
    // Never destroyed: handles held by static objects are released after
    // static destruction has begun.
    static track_handle_table* const table = new track_handle_table;
    return *table;
  }

  void get(track_handle_ptr& out, const track_location& location) {
    const key wanted{qiv::crc32(location.get_path(), std::strlen(location.get_path())), location.get_path(), location.get_subsong()};
    critical_section_lock hold(lock_);
    auto found = handles_.find(wanted);
    track_handle* handle;
    if (found != handles_.end()) {
      handle = found->second;
    } else {
      handle = new track_handle(location);
      try {
        handles_.emplace(key_of(*handle), handle);
      } catch (...) {
        delete handle;
        throw;
      }
    }
    // The lock is re-entrant: the count goes up before anyone else can
    // release the handle, and the old reference is dropped inside it too.
    out = handle;
  }

  std::uint32_t count() {
    critical_section_lock hold(lock_);
    return static_cast<std::uint32_t>(handles_.size());
  }

  std::int32_t add_ref(track_handle& handle) noexcept {
    critical_section_lock hold(lock_);
    return ++handle.count_;
  }

  std::int32_t release(track_handle& handle) noexcept {
    critical_section_lock hold(lock_);
    const std::int32_t count = --handle.count_;
    if (count == 0) {
      handles_.erase(key_of(handle));
      delete &handle;
    }
    return count;
  }

private:
  struct key {
    std::uint32_t crc;
    const char* path;
    std::uint32_t subsong;
  };

  struct key_order {
    bool operator()(const key& a, const key& b) const noexcept {
      if (a.crc != b.crc) return a.crc < b.crc;
      if (const int order = std::strcmp(a.path, b.path)) return order < 0;
      return a.subsong < b.subsong;
    }
  };

  // The path points into the handle's own location, which lives as long as
  // the tree entry.
  static key key_of(const track_handle& handle) noexcept {
    return {handle.path_crc_, handle.location_.get_path(), handle.location_.get_subsong()};
  }

  critical_section lock_;
  std::map<key, track_handle*, key_order> handles_;
};

std::int32_t track_handle::add_ref() noexcept { return track_handle_table::instance().add_ref(*this); }
std::int32_t track_handle::release() noexcept { return track_handle_table::instance().release(*this); }

namespace track_handle_registry {

void get_handle(track_handle_ptr& out, const track_location& location) {
  track_handle_table::instance().get(out, location);
}

track_handle_ptr get_handle(const track_location& location) {
  track_handle_ptr handle;
  get_handle(handle, location);
  return handle;
}

std::uint32_t live_count() { return track_handle_table::instance().count(); }

} // namespace track_handle_registry
