#include "metadata/track_handle_registry.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "foundation/win32_handles.h"
#include "foundation/crc32.h"

// A lookup can never find a handle whose last release is under way: the
// count reaches 0 and the handle leaves the table within one hold of the
// registry lock, under which lookups take their reference. Any other count
// change is atomic without the lock, as a caller that holds a reference
// keeps the count above 0.
//
// A library keeps one handle per track, so the table chains handles through
// a link inside each handle instead of allocating a node per entry; the
// chains are found by the path's CRC, which every handle keeps.
class track_handle_table {
public:
  static track_handle_table& instance() noexcept {
    // Never destroyed: handles held by static objects are released after
    // static destruction has begun.
    static track_handle_table* const table = new track_handle_table;
    return *table;
  }

  void get(track_handle_ptr& out, const char* path, std::size_t length, std::uint32_t subsong) {
    const std::uint32_t crc = qiv::crc32(path, length);
    critical_section_lock hold(lock_);
    get_locked(out, path, length, subsong, crc);
  }

  void get_many(std::span<const char* const> paths, std::uint32_t subsong, std::span<track_handle_ptr> out) {
    // The paths' checksums are made outside the lock; a run of paths holds
    // it for well under a millisecond, so that others waiting for handles or
    // their counts are not held up by a long batch.
    constexpr std::size_t run = 512;
    std::size_t lengths[run];
    std::uint32_t crcs[run];
    for (std::size_t start = 0; start < paths.size(); start += run) {
      const std::size_t count = std::min(run, paths.size() - start);
      for (std::size_t i = 0; i < count; ++i) {
        lengths[i] = std::strlen(paths[start + i]);
        crcs[i] = qiv::crc32(paths[start + i], lengths[i]);
      }
      critical_section_lock hold(lock_);
      for (std::size_t i = 0; i < count; ++i)
        get_locked(out[start + i], paths[start + i], lengths[i], subsong, crcs[i]);
    }
  }

  std::uint32_t count() {
    critical_section_lock hold(lock_);
    return count_;
  }

  // The caller holds a reference, or the lock for a lookup: the count
  // cannot reach 0 meanwhile.
  static std::int32_t add_ref(track_handle& handle) noexcept {
    return handle.count_.fetch_add(1, std::memory_order_relaxed) + 1;
  }

  std::int32_t release(track_handle& handle) noexcept {
    // A release that cannot be the last one needs no lock.
    std::int32_t count = handle.count_.load(std::memory_order_relaxed);
    while (count > 1)
      if (handle.count_.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel, std::memory_order_relaxed))
        return count - 1;
    critical_section_lock hold(lock_);
    count = handle.count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) {
      unlink(handle);
      destroy_handle(handle);
    }
    return count;
  }

private:
  void get_locked(track_handle_ptr& out, const char* path, std::size_t length, std::uint32_t subsong,
                  std::uint32_t crc) {
    track_handle* handle = find(crc, path, subsong);
    if (handle == nullptr) {
      if (count_ >= bucket_count_) grow();
      handle = make_handle(path, length, subsong, crc);
      track_handle*& head = buckets_[crc & (bucket_count_ - 1)];
      handle->next_in_registry_ = head;
      head = handle;
      ++count_;
    }
    // The lock is re-entrant: the count goes up before anyone else can
    // release the handle, and the old reference is dropped inside it too.
    out = handle;
  }

  // One heap block per handle: the object, then its path text with its
  // terminator. A library holds a handle per track, and a block of its own
  // for each path would cost a heap header and rounding more per track.
  static_assert(sizeof(track_handle) <= 10 * sizeof(void*), "a handle per track: keep it within its heap size class");
  static track_handle* make_handle(const char* path, std::size_t length, std::uint32_t subsong, std::uint32_t crc) {
    void* const block = ::operator new(sizeof(track_handle) + length + 1);
    char* const text = static_cast<char*>(block) + sizeof(track_handle);
    std::memcpy(text, path, length + 1);
    return ::new (block) track_handle(text, subsong, crc);
  }

  static void destroy_handle(track_handle& handle) noexcept {
    handle.~track_handle();
    ::operator delete(static_cast<void*>(&handle));
  }

  track_handle* find(std::uint32_t crc, const char* path, std::uint32_t subsong) const noexcept {
    if (bucket_count_ == 0) return nullptr;
    for (track_handle* at = buckets_[crc & (bucket_count_ - 1)]; at != nullptr; at = at->next_in_registry_)
      if (at->path_crc_ == crc && at->location_.get_subsong() == subsong &&
          std::strcmp(at->location_.get_path(), path) == 0)
        return at;
    return nullptr;
  }

  void unlink(track_handle& handle) noexcept {
    track_handle** link = &buckets_[handle.path_crc_ & (bucket_count_ - 1)];
    while (*link != &handle) link = &(*link)->next_in_registry_;
    *link = handle.next_in_registry_;
    --count_;
  }

  // Twice the buckets once there are as many handles as buckets; the table
  // never shrinks, as a library that was this large once will be again.
  void grow() {
    const std::uint32_t new_count = bucket_count_ == 0 ? 1024 : bucket_count_ * 2;
    auto fresh = std::make_unique<track_handle*[]>(new_count);
    for (std::uint32_t b = 0; b < bucket_count_; ++b)
      for (track_handle* at = buckets_[b]; at != nullptr;) {
        track_handle* const next = at->next_in_registry_;
        track_handle*& head = fresh[at->path_crc_ & (new_count - 1)];
        at->next_in_registry_ = head;
        head = at;
        at = next;
      }
    buckets_ = std::move(fresh);
    bucket_count_ = new_count;
  }

  critical_section lock_;
  std::unique_ptr<track_handle*[]> buckets_;
  std::uint32_t bucket_count_ = 0;  // a power of two
  std::uint32_t count_ = 0;
};
std::int32_t track_handle::add_ref() noexcept { return track_handle_table::instance().add_ref(*this); }
std::int32_t track_handle::release() noexcept { return track_handle_table::instance().release(*this); }

namespace track_handle_registry {

void get_handle(track_handle_ptr& out, const track_location& location) {
  get_handle(out, location.get_path(), location.get_subsong());
}

void get_handle(track_handle_ptr& out, const char* path, std::uint32_t subsong) {
  if (path == nullptr) path = "";
  track_handle_table::instance().get(out, path, std::strlen(path), subsong);
}

void get_handle(track_handle_ptr& out, const char* path, std::size_t length, std::uint32_t subsong) {
  track_handle_table::instance().get(out, path, length, subsong);
}

void get_handles(std::span<const char* const> paths, std::uint32_t subsong, std::span<track_handle_ptr> out) {
  track_handle_table::instance().get_many(paths, subsong, out.first(paths.size()));
}

track_handle_ptr get_handle(const track_location& location) {
  track_handle_ptr handle;
  get_handle(handle, location);
  return handle;
}

std::uint32_t live_count() { return track_handle_table::instance().count(); }

} // namespace track_handle_registry
