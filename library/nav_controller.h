// The navigation controller: owns the one node the main window's list shows,
// moves it along links, Up, Back and Forward, opens folders and files given
// from outside, and remembers the location on screen across runs. What the
// list shows is kept in `nav_view_state` for the window to draw.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/config_item.h"
#include "library/library_view_node.h"
#include "library/nav_node_builder.h"
#include "library/media_library.h"
#include "library/nav_node.h"

struct nav_root_entry {
  std::wstring caption;
  nav_location location;
};

// Genres, artists, albums, the music folder (or folders) and the computer.
std::vector<nav_root_entry> nav_roots_build(const std::vector<std::string>& music_folders);

// The last location on screen, in "config.dat". In portable mode a folder
// inside the program's folder is stored relative to it, so the location
// survives the program moving to another drive.
class nav_last_location_item final : public config_item {
public:
  static constexpr const wchar_t* application_folder_key = L"<application folder>";

  explicit nav_last_location_item(config_item** list = &global_list_head);
  nav_location value;

  void read(byte_stream_reader& source, std::uint32_t size, const abort_signal& abort) override;
  void write(byte_stream_writer& target, const abort_signal& abort) override;

  // Tests set these: the program's folder (empty: the real one) and whether
  // the library lives beside it (-1: as the program runs).
  nav_path program_folder;
  int portable = -1;
};

extern nav_last_location_item nav_last_location;

// The program file's folder, split into components.
nav_path nav_program_folder();

// Where the list's scroll bars stand.
struct nav_scroll_position {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const nav_scroll_position&, const nav_scroll_position&) = default;
};

// What the list holds at a moment: kept in the history so that Back and
// Forward return to the same items and the same part of the list.
struct nav_list_state {
  wide_text_list selection;
  wide_text_list focus;  // at most one name
  std::optional<nav_scroll_position> scroll;
};

struct nav_view_state {
  wide_text_list items;
  std::int32_t highlight = -1;  // the item of the playing track
  std::wstring picture;         // empty: none
  nav_caption path_line;
  nav_caption nav_line;
  wide_text_list selection;
  wide_text_list focus;
  std::optional<nav_scroll_position> scroll;  // none: as the selection puts it
  bool can_back = false;
  bool can_forward = false;
};

// The window that shows what the controller builds.
class nav_view_host : public nav_node_listener {
public:
  // What the list holds now, read before the controller leaves a place.
  virtual nav_list_state list_state() = 0;
  // A new view() is ready to be shown.
  virtual void view_changed() = 0;
  // Starts playback as the window's own Play action does for these names of
  // the shown list: a single track plays the whole list from it on.
  virtual void play_from(const wide_text_list& selection) = 0;

protected:
  ~nav_view_host() = default;
};

class nav_controller {
public:
  // Library views read `library`: the media library unless a test or a
  // benchmark gives its own.
  explicit nav_controller(nav_node_listener* listener = nullptr,
                          library_view_tracks& library = media_library_view_tracks());
  ~nav_controller();
  nav_controller(const nav_controller&) = delete;
  nav_controller& operator=(const nav_controller&) = delete;

  // The window that shows the nodes from now on (null: none). The node
  // shown so far was made for another listener and is dropped; the history
  // starts again with the next navigation.
  void set_host(nav_view_host* host);

  // Shows the location and makes it the newest history entry; `then` runs
  // once it is shown (never when a later move overtakes it).
  void navigate(const nav_location& location, std::function<void()> then = {});
  nav_node* node() const { return node_.get(); }
  const nav_view_state& view() const { return view_; }

  // Shows the node again after its contents changed.
  void refresh(bool keep_focus);
  // Beeps at the top level.
  void go_up();
  // Opens the selection as a further level, or follows its link.
  void open(const wide_text_list& selection);
  // 1 back, 2 forward (WM_APPCOMMAND browser backward and forward); false
  // for any other command.
  bool history_step(std::uint32_t command);

  void go_to_path(const std::wstring& folder, const wide_text_list& names);
  // The folder all the tracks share and their names; false when they lie in
  // several folders or outside the file system.
  static bool go_to_common_folder(const track_handle_list& tracks, std::wstring& folder, wide_text_list& names);
  // Files or folders dropped or handed over: goes to their folder, selects
  // them and, with `play`, has the window play them (one file: the folder
  // from that file on).
  void open_path(const wide_text_list& paths, bool play);

  // The option of the main window that shows folder pictures behind lists.
  bool show_pictures = true;

  // Library views of a library of at least this many tracks are built on a
  // worker while the window goes on showing (and answering in) the list it
  // had; smaller ones build at once, faster than the hand-over. A move made
  // meanwhile overtakes the build.
  std::size_t background_build_tracks = 5000;
  // Folders are listed on the worker too, whatever their size: a folder of
  // 10,000 files takes tens of milliseconds to list.
  bool build_folders_in_background = true;
  // A view is being built to replace the one shown.
  bool is_building() const noexcept { return pending_.has_value(); }

  std::size_t history_size() const noexcept { return history_.size(); }

private:
  struct history_entry {
    nav_location location;
    nav_list_state state;
  };

  // How a view built on the worker is shown when it lands.
  struct pending_move {
    nav_location target;
    bool add_history = true;
    nav_list_state shown;
    std::function<void()> then;
  };
  // The library's changes, counted while a view is built from a copy of it.
  class change_counter final : public library_change_callback {
  public:
    std::uint64_t changes = 0;
    void on_items_added(const track_handle_list&) override { ++changes; }
    void on_items_removed(const track_handle_list&) override { ++changes; }
    void on_items_modified(const track_handle_list&) override { ++changes; }
    void on_scanning_changed(bool) override {}
  };

  // Starts building the library view or folder at the location on the
  // worker when the library is large or folders are built there (true);
  // false: the caller moves at once, and `move` is left as it was.
  bool move_in_background(const nav_location& target, pending_move&& move);
  // Moves to the location, adding it to the history, and shows it as `move` says.
  void navigate_showing(const nav_location& location, pending_move move);
  // The library's first use: shows the view built ahead of it at the
  // target, when it was built from these tracks.
  bool land_built_ahead(const nav_location& target, const track_handle_list& tracks, pending_move& move);
  void land(built_nav_node built);
  void build_failed() noexcept;
  // A move made at once overtakes a build on the worker.
  void cancel_build() noexcept;
  // A move made while a view is built follows on from that view: the
  // history gets its entry as if it had been shown.
  void note_pending_in_history();
  void stop_counting_changes() noexcept;
  // Frees a node the list no longer shows, a library view on the worker.
  void retire(std::unique_ptr<nav_node> node);

  void switch_to(const nav_location& location);
  void add_history();
  // Keeps the list state of the entry being left.
  void save_list_state();
  // `ready` holds the node's entries already copied (moved from), and
  // `playing_entry` the entry of `playing` found with them.
  struct ready_entries {
    wide_text_list* entries;
    const track_handle* playing;
    std::int32_t playing_entry;
  };
  void show(const wide_text_list& selection, const wide_text_list& focus,
            const std::optional<nav_scroll_position>& scroll = std::nullopt, const ready_entries* ready = nullptr);

  nav_node_listener* listener_;
  nav_view_host* host_ = nullptr;
  std::unique_ptr<nav_node> node_;
  std::vector<history_entry> history_;
  std::size_t history_position_ = 0;
  nav_view_state view_;
  library_view_tracks& library_;
  std::optional<pending_move> pending_;
  change_counter changes_;
  bool counting_changes_ = false;
  std::uint64_t changes_at_start_ = 0;
  // Last: it ends first, so that nothing lands in a controller being torn down.
  nav_node_builder builder_;
};

// The process's controller, for what opens locations from outside.
nav_controller& nav_controller_get();
