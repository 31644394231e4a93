// The process-wide registry that keeps exactly one track_handle alive per
// distinct location. Locations are the same track only when their path bytes
// and subsong are equal: paths that differ in letter case are different
// tracks, since case matters on some file systems and schemes.
#pragma once

#include <cstdint>
#include <span>

#include "metadata/track_handle.h"
#include "metadata/track_location.h"

namespace track_handle_registry {

// The handle of `location`, made on first request with no cached info. The
// reference `out` held before is released. Safe from any thread.
void get_handle(track_handle_ptr& out, const track_location& location);
track_handle_ptr get_handle(const track_location& location);
// The same for the location (`path`, `subsong`), without making one first.
void get_handle(track_handle_ptr& out, const char* path, std::uint32_t subsong);
// The same for a path of known `length`, followed by its NUL.
void get_handle(track_handle_ptr& out, const char* path, std::size_t length, std::uint32_t subsong);

// The handles of the locations (`paths[i]`, `subsong`), in that order, into
// `out[i]` (whose earlier references are released): the same as one call each,
// but with the registry's lock taken once per run of paths rather than once
// per path.
void get_handles(std::span<const char* const> paths, std::uint32_t subsong, std::span<track_handle_ptr> out);

// The number of handles alive now.
std::uint32_t live_count();

// The same global info lock as track_handle::lock_info.
inline void lock_info() noexcept { track_handle::lock_info(); }
inline void unlock_info() noexcept { track_handle::unlock_info(); }

} // namespace track_handle_registry
