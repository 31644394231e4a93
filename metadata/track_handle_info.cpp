#include "metadata/track_handle_info.h"

namespace track_handle_info {

info_lock_scope::info_lock_scope(track_handle& handle) noexcept : handle_(handle) {
  handle_.add_ref();
  track_handle::lock_info();
}

info_lock_scope::~info_lock_scope() {
  // Unlock first: the last release may destroy the handle under the
  // registry lock, and the two locks are never held together.
  track_handle::unlock_info();
  handle_.release();
}

double cached_length(track_handle& handle) {
  info_lock_scope scope(handle);
  const track_display_info* record = nullptr;
  if (!handle.get_info_ref(record)) return 0.0;
  return record->get_length();
}

bool needs_info_reload(track_handle& handle, std::uint64_t file_time, bool strict) {
  track_info_lock hold;
  if (!handle.has_info()) return true;
  const std::uint64_t cached_time = handle.get_info_timestamp();
  if (file_time == 0) return strict;
  return strict ? cached_time != file_time : cached_time < file_time;
}

}  // namespace track_handle_info
