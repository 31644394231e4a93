// The library view's tracks for playback and its header caption.
#include <algorithm>
#include <set>
#include <unordered_set>

#include "foundation/string_buffer.h"
#include "library/folder_picture.h"
#include "library/library_view_node.h"
#include "library/nav_track_sources.h"
#include "library/subsong_file_order.h"
#include "library/view_texts.h"
#include "metadata/input_dispatch.h"
#include "metadata/track_sort_keys.h"

namespace {

void remove_repeated_handles(track_handle_list& tracks) {
  std::unordered_set<const track_handle*> seen;
  std::erase_if(tracks, [&](const track_handle_ptr& track) { return !seen.insert(track.get()).second; });
}

// Better formats win among copies of one song; unknown ones rank lowest.
int format_rank(const char* path) {
  static const char* const by_rank[] = {"MP3", "OGG", "M4A", "MPC", "WV", "FLAC"};
  qiv::string_buffer extension;
  input_dispatch::get_extension(path, extension);
  for (int i = 0; i < 6; ++i)
    if (_stricmp(extension.get_ptr(), by_rank[i]) == 0) return i + 1;
  return 0;
}

bool same_song(const track_handle_ptr& a, const track_handle_ptr& b) {
  track_info_lock lock;
  const track_display_info* first = nullptr;
  const track_display_info* second = nullptr;
  if (!a->get_info_ref(first) || !b->get_info_ref(second)) return false;
  for (std::uint32_t field = 0; field < field_name_set::field_count; ++field)
    if (std::strcmp(first->get(field), second->get(field)) != 0) return false;
  return true;
}

std::uint64_t file_time(const track_handle_ptr& track) {
  track_info_lock lock;
  return track->get_info_timestamp();
}

}  // namespace

void library_view_node::drop_duplicate_songs(track_handle_list& tracks) {
  std::vector<bool> dropped(tracks.size(), false);
  for (std::size_t i = 0; i < tracks.size();) {
    std::size_t j = i + 1;
    while (j < tracks.size() && same_song(tracks[j], tracks[i])) ++j;
    if (j - i >= 2) {
      std::size_t kept = i;
      int kept_rank = format_rank(tracks[i]->get_location().get_path());
      std::uint64_t kept_time = file_time(tracks[i]);
      for (std::size_t k = i + 1; k < j; ++k) {
        const int rank = format_rank(tracks[k]->get_location().get_path());
        const std::uint64_t time = file_time(tracks[k]);
        if (rank > kept_rank || (rank == kept_rank && time > kept_time)) kept = k, kept_rank = rank, kept_time = time;
      }
      for (std::size_t k = i; k < j; ++k) dropped[k] = k != kept;
    }
    i = j;
  }
  std::size_t index = 0;
  std::erase_if(tracks, [&](const track_handle_ptr&) { return dropped[index++]; });
}

void library_view_node::get_all_tracks(track_handle_list& out) {
  track_handle_list tracks;
  collect_tracks(level_, tracks);
  remove_repeated_handles(tracks);
  std::vector<std::uint32_t> order(tracks.size());
  sort_tracks_by_script(order, tracks, *track_order_script_);
  keep_subsongs_in_file_order(order, [&](std::uint32_t index) { return tracks[index].get(); });
  out.clear();
  out.reserve(tracks.size());
  for (std::uint32_t index : order) out.push_back(std::move(tracks[index]));
}

void library_view_node::get_tracks(const wide_text_list& names, track_handle_list& out) {
  // Asks the level below as if the names were opened, without building it.
  const wide_text_list kept = selections_[level_];
  selections_[level_] = holds_all_key(names, level_) ? wide_text_list{} : names;
  ++level_;
  try {
    get_all_tracks(out);
  } catch (...) {
    --level_;
    selections_[level_] = kept;
    throw;
  }
  --level_;
  selections_[level_] = kept;
}

track_source_ptr library_view_node::source_for(const wide_text_list& names) {
  track_handle_list tracks;
  get_tracks(names, tracks);
  drop_duplicate_songs(tracks);
  return track_list_source_create(tracks);
}

track_source_ptr library_view_node::source_for_all() {
  track_handle_list tracks;
  get_all_tracks(tracks);
  drop_duplicate_songs(tracks);
  return track_list_source_create(tracks);
}

bool library_view_node::get_picture(std::wstring& out) {
  if (level_ != 3) return false;
  track_handle_list tracks;
  get_all_tracks(tracks);
  return folder_picture_find(tracks, out);
}

namespace {

using link_function = void (*)(nav_caption&, const std::wstring&);

void append_links(nav_caption& caption, const wide_text_list& keys, link_function link) {
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (i > 0) link_text::append_escaped(caption.text, ", ");
    link(caption, keys[i]);
  }
}

// The text with the links in place of its placeholder; nothing when the
// text lacks the placeholder.
void insert_links(nav_caption& caption, const char* id, const char* placeholder, const wide_text_list& keys,
                  link_function link) {
  const std::string text = view_text(id);
  const std::size_t at = text.find(placeholder);
  if (at == std::string::npos) return;
  link_text::append_escaped(caption.text, text.substr(0, at));
  append_links(caption, keys, link);
  link_text::append_escaped(caption.text, text.substr(at + std::strlen(placeholder)));
}

wide_text_list album_artist_pieces(const std::wstring& album_artist) { return nav_split_pieces(album_artist, L", "); }

bool same_set(const wide_text_list& a, const wide_text_list& b) {
  return std::set<std::wstring>(a.begin(), a.end()) == std::set<std::wstring>(b.begin(), b.end());
}

}  // namespace

void library_view_node::append_artist_suffix(nav_caption& caption, const wide_text_list& artists) {
  insert_links(caption, "ui_view_artist_suffix_long", "{artist}", artists, link_text::link_second_level_key);
}

void library_view_node::append_genre_suffix(nav_caption& caption) {
  insert_links(caption, "ui_view_genre_suffix_long", "{genre}", selections_[0], link_text::link_first_level_key);
}

// Appends the album's link and gives its album artist pieces.
void library_view_node::append_album_link(nav_caption& caption, const std::wstring& identity,
                                          wide_text_list& pieces) {
  const std::size_t first = identity.find(L'\n');
  const std::size_t second = first == std::wstring::npos ? std::wstring::npos : identity.find(L'\n', first + 1);
  std::wstring album = identity.substr(0, first);
  const std::wstring album_artist =
      first == std::wstring::npos ? L"" : identity.substr(first + 1, second == std::wstring::npos ? second : second - first - 1);
  const std::wstring date = second == std::wstring::npos ? L"" : identity.substr(second + 1);
  pieces = album_artist_pieces(album_artist);
  link_text::append_bracketed(album, date);
  library_position position;
  position.set_keys(album, pieces);
  position.append_link(caption, album);
}

void library_view_node::append_album_part(nav_caption& caption, bool& ended_early) {
  const wide_text_list& albums = selections_[2];
  ended_early = false;
  if (albums.size() > 1) {
    link_text::append_escaped(caption.text, std::string(view_text("ui_view_albums_prefix")) + " ");
  } else {
    std::wstring identity;
    if (album_identity(albums[0], identity)) {
      link_text::append_escaped(caption.text, std::string(view_text("ui_view_album_prefix")) + " ");
      // Measure the pieces first: the link goes in only when they match.
      wide_text_list pieces;
      nav_caption scratch;
      append_album_link(scratch, identity, pieces);
      if (same_set(pieces, selections_[1])) {
        append_album_link(caption, identity, pieces);
        if (!pieces.empty()) append_artist_suffix(caption, pieces);
        ended_early = true;
        return;
      }
    }
  }
  for (std::size_t i = 0; i < albums.size(); ++i) {
    if (i > 0) link_text::append_escaped(caption.text, ", ");
    std::wstring identity;
    if (!album_identity(albums[i], identity)) {
      link_text::append_escaped(caption.text, "???");
      continue;
    }
    wide_text_list pieces;
    append_album_link(caption, identity, pieces);
    if (!pieces.empty() && !same_set(pieces, selections_[1])) append_artist_suffix(caption, pieces);
  }
}

void library_view_node::describe(nav_caption& caption) {
  const wide_text_list& genres = selections_[0];
  const wide_text_list& artists = selections_[1];
  const auto genre_text = [&](const char* all_id, const char* genre_id) {
    if (genres.empty()) link_text::append_escaped(caption.text, view_text(all_id));
    else insert_links(caption, genre_id, "{genre}", genres, link_text::link_first_level_key);
  };
  switch (level_) {
  case 0:
    link_text::append_escaped(caption.text, view_text("ui_view_all_genres"));
    break;
  case 1:
    genre_text("ui_view_all_artists", "ui_view_all_artists_in_genre");
    break;
  case 2:
  case 3:
    if (level_ == 3 && !selections_[2].empty()) {
      bool ended_early = false;
      append_album_part(caption, ended_early);
      if (!artists.empty() && !ended_early) append_artist_suffix(caption, artists);
      if (!genres.empty()) append_genre_suffix(caption);
      break;
    }
    if (level_ == 2) genre_text("ui_view_all_albums", "ui_view_genre_albums");
    else genre_text("ui_view_all_songs", "ui_view_genre_songs");
    if (!artists.empty()) append_artist_suffix(caption, artists);
    break;
  }
}
