#include "library/view_texts.h"

#include <cstring>

#include "core/localized_text.h"

namespace {

struct english_text {
  const char* id;
  const char* text;
};

constexpr english_text english_texts[] = {
    {"ui_view_artist_suffix", " // {artist}"},
    {"ui_view_all_genres", "All genres"},
    {"ui_view_all_artists", "All artists"},
    {"ui_view_all_artists_in_genre", "All artists in {genre}"},
    {"ui_view_all_albums", "All albums"},
    {"ui_view_genre_albums", "{genre} albums"},
    {"ui_view_all_songs", "All songs"},
    {"ui_view_genre_songs", "{genre} songs"},
    {"ui_view_album_prefix", "Album:"},
    {"ui_view_albums_prefix", "Albums:"},
    {"ui_view_artist_suffix_long", ", artist: {artist}"},
    {"ui_view_genre_suffix_long", ", genre: {genre}"},
};

}  // namespace

const char* view_text(const char* id) {
  if (const char* text = localized_text_find(id)) return text;
  for (const english_text& entry : english_texts)
    if (std::strcmp(entry.id, id) == 0) return entry.text;
  return "";
}
