#include "metadata/cached_info_refresher.h"

#include <utility>

#include "metadata/track_handle_registry.h"
#include "metadata/track_info_listener.h"

void cached_info_refresher::refresh(const track_handle_ptr& handle, std::uint64_t timestamp,
                                    vantrel_io::reader& source, const abort_signal& abort) {
  if (handle->load_info_from_stream(timestamp, source, abort)) refreshed_.push_back(handle);
}

void cached_info_refresher::refresh_location(track_handle_ptr& out, const track_location& location,
                                             std::uint64_t timestamp, vantrel_io::reader& source,
                                             const abort_signal& abort) {
  out = track_handle_registry::get_handle(location);
  if (out->load_info_from_stream(timestamp, source, abort) && !out->is_only_reference()) refreshed_.push_back(out);
}

void cached_info_refresher::commit() {
  const track_handle_list refreshed = std::move(refreshed_);
  refreshed_.clear();
  track_info_publish(refreshed, 0);
}
