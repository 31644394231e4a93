#include "metadata/cached_info_refresher.h"

#include <utility>

#include "foundation/main_thread.h"
#include "metadata/track_handle_registry.h"
#include "metadata/track_info_listener.h"

void cached_info_refresher::refresh(const track_handle_ptr& handle, std::uint64_t timestamp,
                                    vantrel_io::reader& source, const abort_signal& abort) {
  if (handle->load_info_from_stream(timestamp, source, abort)) remember(handle);
}

void cached_info_refresher::refresh_location(track_handle_ptr& out, const track_location& location,
                                             std::uint64_t timestamp, vantrel_io::reader& source,
                                             const abort_signal& abort) {
  out = track_handle_registry::get_handle(location);
  if (out->load_info_from_stream(timestamp, source, abort) && !out->is_only_reference()) remember(out);
}

void cached_info_refresher::remember(const track_handle_ptr& handle) {
  std::lock_guard<std::mutex> hold(lock_);
  refreshed_.push_back(handle);
}

void cached_info_refresher::commit() {
  if (!running_on_main_thread()) {
    post_callback_from_worker(0);
    return;
  }
  track_handle_list refreshed;
  {
    std::lock_guard<std::mutex> hold(lock_);
    refreshed.swap(refreshed_);
  }
  track_info_publish(refreshed, 0);
}
