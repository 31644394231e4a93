// The library by genre, artist, album and song. Each level groups the tracks
// of the level above's selection by a key computed from their cached info;
// opening a selection narrows the next level to the tracks of those groups.
// Main thread only, except that a node made unbuilt may be built on one other
// thread before the main thread attaches it.
#pragma once

#include <array>
#include <memory>
#include <set>
#include <utility>

#include "foundation/refcounted.h"
#include "library/library_view_groups.h"
#include "library/media_library.h"
#include "library/nav_node.h"
#include "metadata/title/title_script.h"

// What a view reads of the library; the media library unless a test gives
// its own.
class library_view_tracks {
public:
  virtual void get_all(track_handle_list& out) = 0;
  virtual void register_callback(library_change_callback* callback) = 0;
  virtual void unregister_callback(library_change_callback* callback) = 0;
  virtual bool is_scanning() = 0;

protected:
  ~library_view_tracks() = default;
};

library_view_tracks& media_library_view_tracks();

// The library's tracks as a thread that may not read the library itself was
// handed them. A build reads them once, for the first level it builds (every
// later level narrows that one's groups), so they move out rather than being
// copied: a second list of every track would raise the heap's high-water
// mark, which the process keeps committed.
class handed_over_tracks final : public library_view_tracks {
public:
  explicit handed_over_tracks(track_handle_list tracks) : tracks_(std::move(tracks)) {}
  void get_all(track_handle_list& out) override {
    out = std::move(tracks_);
    tracks_.clear();
    ++reads_;
  }
  void register_callback(library_change_callback*) override {}
  void unregister_callback(library_change_callback*) override {}
  bool is_scanning() override { return false; }
  // A build that read them more than once saw no tracks the second time.
  bool read_once() const noexcept { return reads_ == 1; }

private:
  track_handle_list tracks_;
  int reads_ = 0;
};

class library_view_node final : public nav_node, private library_change_callback {
public:
  static constexpr std::uint32_t level_count = 4;

  // Roots: genres = no component, artists = one empty component, albums =
  // two empty components.
  library_view_node(nav_node_listener* listener, const nav_path& path,
                    library_view_tracks& library = media_library_view_tracks());
  // Made on the main thread but neither built nor following the library:
  // build_from builds it, on any one thread while nothing else touches the
  // node; attach, back on the main thread, makes it follow the library.
  struct unbuilt_t {};
  static constexpr unbuilt_t unbuilt{};
  library_view_node(nav_node_listener* listener, unbuilt_t,
                    library_view_tracks& library = media_library_view_tracks());
  ~library_view_node() override;

  // Builds the view at the path from `tracks` instead of the library.
  void build_from(const nav_path& path, library_view_tracks& tracks);
  // Main thread: follows the library from now on; `library_changed` (since
  // the tracks given to build_from were taken) rebuilds the view first.
  // Answers whether that changed the entries. Tells the listener whether
  // the library is scanning when `report_scanning`.
  bool attach(bool library_changed, bool report_scanning);
  // Main thread: stops following the library, so that the node may be
  // freed on another thread.
  void detach();

  std::uint32_t kind() const override { return nav_kind_library_view; }
  wide_text_list current_key() const override;
  void set_path(const nav_path& path) override;
  nav_path get_path() const override;
  bool can_open(const wide_text_list&) const override { return level_ + 1 < level_count; }
  bool can_go_up() const override { return level_ > 0; }
  bool lists_tracks() const override { return level_ == 3; }
  bool entry_is_track(const std::wstring& name, const track_handle* handle) override;
  bool is_container(const std::wstring& name) const override;
  void get_tracks(const wide_text_list& names, track_handle_list& out) override;
  bool is_track(const std::wstring& name) override;
  void go_up() override;
  void open(const wide_text_list& selection) override;
  const wide_text_list& entries() const override;
  wide_text_list copy_entries() const override;
  void get_all_tracks(track_handle_list& out) override;
  void describe(nav_caption& caption) override;
  bool has_tracks() const override;
  bool get_picture(std::wstring& out) override;
  track_source_ptr source_for(const wide_text_list& names) override;
  track_source_ptr source_for_all() override;

  // Rebuilds every level up to the current one; tells the listener only
  // when the entries changed.
  void refresh();

  // Keeps one of each run of neighbouring copies of one song (equal tags),
  // preferring the better file format, then the newer file.
  static void drop_duplicate_songs(track_handle_list& tracks);

  // Whether the keys hold the "all" entry of the level.
  static bool holds_all_key(const wide_text_list& keys, std::uint32_t level);

private:
  using script_ref = qiv::ref_ptr<title_script>;

  void on_items_added(const track_handle_list&) override { refresh(); }
  void on_items_removed(const track_handle_list&) override { refresh(); }
  void on_items_modified(const track_handle_list&) override { refresh(); }
  void on_scanning_changed(bool scanning) override;

  void compile_scripts();
  // Builds every level up to the current one again; whether the entries changed.
  bool rebuild();
  void build_levels();
  void build_level(std::uint32_t level);
  // Whether any key selected at the level still names a group there.
  bool holds_selected_group(std::uint32_t level) const;
  void build_albums(const track_handle_list& tracks, library_view_grouper& grouper);
  // The album, album artist and date (between line feeds) of the album
  // listed under that caption; false when none is.
  bool album_identity(const std::wstring& caption, std::wstring& out) const;
  void collect_tracks(std::uint32_t level, track_handle_list& out);
  void fill_entries_from_groups(std::uint32_t level);
  void make_entries(wide_text_list& out) const;
  bool entries_equal(const wide_text_list& other) const;
  std::string evaluate(const track_handle_ptr& track, const title_script& script) const;

  // Caption pieces.
  void append_album_part(nav_caption& caption, bool& ended_early);
  void append_album_link(nav_caption& caption, const std::wstring& identity, wide_text_list& pieces);
  void append_artist_suffix(nav_caption& caption, const wide_text_list& artists);
  void append_genre_suffix(nav_caption& caption);

  library_view_tracks* library_;
  nav_node_listener* listener_;
  bool following_ = false;  // registered with the library
  script_ref song_caption_script_, title_script_, album_order_script_;
  title_script* track_order_script_ = nullptr;
  script_ref other_album_pattern_, own_album_pattern_, all_album_pattern_;
  script_ref album_identity_script_;  // album, album artist and date
  std::array<wide_text_list, level_count> selections_;
  std::array<library_view_groups, level_count> groups_;
  std::uint32_t level_ = 0;
  // A level that lists its groups keeps their order and makes its entries
  // only when asked, so that a list given a copy of its own does not cost a
  // second one here.
  mutable wide_text_list entries_;
  mutable bool entries_made_ = true;
  const wchar_t* first_entry_ = nullptr;     // the "all" entry before the groups, or none
  std::uint32_t entry_level_ = 0;            // whose groups
  std::vector<std::uint32_t> entry_groups_;  // in the order listed
  // The entries of the current level whose groups hold `holders_of_`, while
  // `holders_known_`; every build forgets them.
  const track_handle* holders_of_ = nullptr;
  std::set<std::wstring> holders_;
  bool holders_known_ = false;
};

std::unique_ptr<library_view_node> library_view_node_create(nav_node_listener* listener, const nav_path& path);
