// The library as one thread saw it, for a view built on another thread: the
// builder must not read the library itself.
#pragma once

#include "library/library_view_node.h"

class track_list_snapshot final : public library_view_tracks {
public:
  explicit track_list_snapshot(const track_handle_list& tracks) : tracks_(tracks) {}
  void get_all(track_handle_list& out) override { out = tracks_; }
  void register_callback(library_change_callback*) override {}
  void unregister_callback(library_change_callback*) override {}
  bool is_scanning() override { return false; }

private:
  const track_handle_list& tracks_;
};
