#include "library/nav_node.h"

#include <algorithm>

bool nav_node::entry_is_track(const std::wstring& name, const track_handle* handle) {
  track_handle_list tracks;
  get_tracks({name}, tracks);
  return std::any_of(tracks.begin(), tracks.end(), [&](const track_handle_ptr& t) { return t.get() == handle; });
}

std::int32_t nav_node::entry_of_track(const wide_text_list& entries, const track_handle* handle) {
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (!is_container(entries[i]) && entry_is_track(entries[i], handle)) return static_cast<std::int32_t>(i);
  return -1;
}

bool nav_node::is_track(const std::wstring& name) {
  track_handle_list tracks;
  get_tracks({name}, tracks);
  return !tracks.empty();
}

void nav_node::get_all_tracks(track_handle_list& out) { get_tracks(entries(), out); }

bool nav_node::get_folder_path(std::wstring&) const { return false; }
bool nav_node::link_target(nav_location&, const std::wstring&) const { return false; }
bool nav_node::can_play() const { return true; }
bool nav_node::get_picture(std::wstring&) { return false; }

track_source_ptr nav_node::source_for(const wide_text_list& names) {
  track_handle_list tracks;
  get_tracks(names, tracks);
  return playback_item_list_create(tracks);
}

track_source_ptr nav_node::source_for_all() {
  track_handle_list tracks;
  get_all_tracks(tracks);
  return playback_item_list_create(tracks);
}
