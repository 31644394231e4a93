// Tracks with the tags a library view reads, held in memory: no file
// behind them is ever opened.
#pragma once

#include <cstdint>
#include <string>

#include "metadata/track_handle_registry.h"

namespace library_test {

struct tags {
  const char* file;
  const char* genre = "";
  const char* artist = "";
  const char* album_artist = "";
  const char* album = "";
  const char* disc = "";
  const char* track = "";
  const char* title = "";
  const char* date = "";
  std::uint64_t file_time = 1;
};

inline track_handle_ptr make_track(const tags& t) {
  track_handle_ptr handle = track_handle_registry::get_handle(track_location((std::string("file://C:\\lib\\") + t.file).c_str(), 0));
  track_display_info info;
  info.set(field_name_set::title, t.title);
  info.set(field_name_set::artist, t.artist);
  info.set(field_name_set::album_artist, t.album_artist);
  info.set(field_name_set::genre, t.genre);
  info.set(field_name_set::album, t.album);
  info.set(field_name_set::track_number, t.track);
  info.set(field_name_set::disc_number, t.disc);
  info.set(field_name_set::date, t.date);
  handle->set_info(info, t.file_time, 0, true);
  return handle;
}

}  // namespace library_test
