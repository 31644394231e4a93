// A compilation whose tags name no album artist shows "Various Artists" as
// its album artist. That value is what the reading shows, not what the file
// holds: a write over tags that hold no album artist leaves it out, so an
// edit of another field does not store it.
#pragma once

#include <string>
#include <vector>

inline constexpr char compilation_album_artist[] = "Various Artists";

// Whether the album artist's values are the shown value alone.
inline bool is_shown_compilation_album_artist(const std::vector<std::string>& values) {
  return values.size() == 1 && values[0] == compilation_album_artist;
}
