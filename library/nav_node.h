// One level of what the main window's list shows: a library view, a folder
// of the file system or the music folders. The navigation controller owns
// exactly one node and moves it along paths of its own kind.
#pragma once

#include <cstdint>
#include <string>

#include "library/nav_types.h"
#include "metadata/track_handle.h"
#include "playback/playback_order.h"

// Implemented by the window that shows the nodes.
class nav_node_listener {
public:
  // The entries changed without a navigation (the library or a folder changed).
  virtual void node_changed() = 0;
  virtual void scanning_changed(bool scanning) = 0;

protected:
  ~nav_node_listener() = default;
};

using track_source_ptr = service_ptr<playback_item_list>;

class nav_node {
public:
  virtual ~nav_node() = default;

  virtual std::uint32_t kind() const = 0;
  // The keys under which the parent level lists this level.
  virtual wide_text_list current_key() const = 0;
  virtual void set_path(const nav_path& path) = 0;
  virtual nav_path get_path() const = 0;
  virtual bool can_open(const wide_text_list& selection) const = 0;
  virtual bool can_go_up() const = 0;
  // Entries of this level may be tracks.
  virtual bool lists_tracks() const = 0;
  virtual bool entry_is_track(const std::wstring& name, const track_handle* handle);
  // The entry opens a further level rather than standing for one track.
  virtual bool is_container(const std::wstring& name) const = 0;
  // The first of `entries` (this level's) that stands for `handle` itself,
  // not a level holding it; -1 when none does.
  std::int32_t entry_of_track(const wide_text_list& entries, const track_handle* handle);
  // Entry by entry in the order given; `out` is emptied first.
  virtual void get_tracks(const wide_text_list& names, track_handle_list& out) = 0;
  virtual bool is_track(const std::wstring& name);
  virtual void go_up() = 0;
  virtual void open(const wide_text_list& selection) = 0;
  // Display order; valid until the node next rebuilds.
  virtual const wide_text_list& entries() const = 0;
  // A copy of the entries for a list to keep.
  virtual wide_text_list copy_entries() const { return entries(); }
  virtual void get_all_tracks(track_handle_list& out);
  virtual void describe(nav_caption& caption) = 0;
  virtual bool get_folder_path(std::wstring& out) const;
  // Something is playable when nothing is selected.
  virtual bool has_tracks() const = 0;
  // Opening this entry switches to a node of another kind.
  virtual bool link_target(nav_location& out, const std::wstring& name) const;
  virtual bool can_play() const;
  // An image file to show behind the list.
  virtual bool get_picture(std::wstring& out);
  virtual track_source_ptr source_for(const wide_text_list& names);
  virtual track_source_ptr source_for_all();
};
