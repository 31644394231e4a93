// The library view the main window opens on, built on the library's
// read-ahead thread from the tracks restored there, so that the window shows
// it the moment it asks for it instead of building it once shown.
#pragma once

#include <memory>
#include <optional>

#include "library/library_database.h"
#include "library/nav_node_builder.h"

namespace nav_first_view {

// Main thread, before the read-ahead starts: the build the read-ahead runs
// with its tracks; null when `location` is no library view. What it builds
// lasts as long as the read-ahead; a later request replaces it.
std::unique_ptr<library_read_ahead_use> request(const nav_location& location);

// Main thread, at the library's first use, before its queue runs again: the
// view built ahead when it was built at `location` from exactly `tracks`, in
// their order (waits for a build under way); nothing otherwise. Either way
// no view built ahead is offered again. The node tells `listener` of its
// changes.
std::optional<built_nav_node> take(const nav_location& location, const track_handle_list& tracks,
                                   nav_node_listener* listener);

}  // namespace nav_first_view
