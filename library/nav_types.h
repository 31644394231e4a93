// The value types that travel between navigation nodes and the controller:
// entry names, key lists, paths and locations, and header captions whose
// link markup leads back into the views.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Entry names, keys and native paths are UTF-16 texts.
using wide_text_list = std::vector<std::wstring>;

// One component per navigation level, each holding the keys chosen there.
using nav_path = std::vector<wide_text_list>;

enum nav_kind : std::uint32_t {
  nav_kind_library_view = 0,
  nav_kind_file_system = 1,
  nav_kind_music_folders = 2,
};

struct nav_location {
  std::uint32_t kind = nav_kind_library_view;
  nav_path path;
  friend bool operator==(const nav_location&, const nav_location&) = default;
};

// UTF-8 link markup ("<a>...</a>") and one location per link, in the order
// the link texts appear in the markup.
struct nav_caption {
  std::string text;
  std::vector<nav_location> links;
};

namespace link_text {

// Copies the text, setting '<' and '>' apart with a space on each side that
// lacks one, so that a name can never open or close a link.
void append_escaped(std::string& out, const std::string& text);
void append_wide(std::string& out, const std::wstring& text);
void append_link(std::string& out, const std::wstring& text);
// " [text]", or nothing for an empty text.
void append_bracketed(std::wstring& out, const std::wstring& text);

}  // namespace link_text

// Where a library view caption link leads: genres, album artists, and one key
// below them (an album).
struct library_position {
  wide_text_list first_level_keys;
  wide_text_list second_level_keys;
  std::wstring key;

  void set_keys(const std::wstring& new_key, const wide_text_list& keys);
  nav_path to_nav_path() const;
  // Appends the link text and a library-view link to this position.
  void append_link(nav_caption& caption, const std::wstring& text) const;
};

// The key that stands for "no genre restriction" at the first level.
inline constexpr const wchar_t* all_genres_key = L"[all genres]";

namespace link_text {
void link_first_level_key(nav_caption& caption, const std::wstring& key);
void link_second_level_key(nav_caption& caption, const std::wstring& key);
}  // namespace link_text

// The non-empty pieces of the text between occurrences of the separator.
wide_text_list nav_split_pieces(const std::wstring& text, const std::wstring& separator);

// C:\Music\Pop -> {C:}, {Music}, {Pop}; empty pieces are dropped.
nav_path nav_split_path(const std::wstring& path);

// UTF-8 <-> UTF-16 for the views.
std::wstring nav_wide(std::string_view text);
std::string nav_utf8(const std::wstring& text);

// The texts in the system's natural order; texts it calls equal keep the
// order they come in (callers give them in code-unit order).
wide_text_list nav_natural_order(wide_text_list texts);
// The same as the indices of the texts in that order.
std::vector<std::uint32_t> nav_natural_order_of(const wide_text_list& texts);
// The same over NUL-terminated texts read in place.
std::vector<std::uint32_t> nav_natural_order_of(std::span<const wchar_t* const> texts);

// The first key of every component joined by backslashes: C:\Music\Pop.
std::wstring nav_path_join(const nav_path& path);
