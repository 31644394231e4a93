// Routines that read a track handle's cached info: its length, whether the
// file must be read again, and a scope that keeps the info lock and the
// handle together.
#pragma once

#include <cstdint>

#include "metadata/track_handle.h"

namespace track_handle_info {

// The cached length in seconds; 0.0 when nothing is cached.
double cached_length(track_handle& handle);

// Whether the file's info must be read again: always when nothing is cached.
// An unknown file time (0) answers `strict`; otherwise strict asks for any
// difference, non-strict only for a file newer than the cached info.
bool needs_info_reload(track_handle& handle, std::uint64_t file_time, bool strict);

// Holds the info lock and a reference to the handle for a scope, so the
// cached record stays readable through get_info_ref until the scope ends.
class info_lock_scope {
public:
  explicit info_lock_scope(track_handle& handle) noexcept;
  ~info_lock_scope();
  info_lock_scope(const info_lock_scope&) = delete;
  info_lock_scope& operator=(const info_lock_scope&) = delete;

private:
  track_handle& handle_;
};

}  // namespace track_handle_info
