// The file system in the main window's list: "My computer" lists the drives,
// every further level one folder's subfolders and the audio files an input
// claims. While a folder is shown, a watcher rebuilds the level when the
// folder changes on disk, and one on each folder above it notices the shown
// folder or a folder on its way going (renamed, deleted): the level then
// moves up to what still exists.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "library/folder_watcher.h"
#include "library/nav_node.h"

// Tags the node made without its listing; {} still means the empty path.
struct fs_node_unbuilt_t {
  constexpr explicit fs_node_unbuilt_t(int) {}
};

class fs_node final : public nav_node {
public:
  fs_node(nav_node_listener* listener, const nav_path& path);
  // Made on the main thread but not listed: build_from lists it, on any one
  // thread while nothing else touches the node; attach, back on the main
  // thread, lets the folder's changes reach it.
  static constexpr fs_node_unbuilt_t unbuilt{0};
  fs_node(nav_node_listener* listener, fs_node_unbuilt_t);
  ~fs_node() override;

  void build_from(const nav_path& path);
  // Main thread. Answers whether the folder changed while it was listed:
  // the node has then been listed again.
  bool attach();
  // Main thread: stops following the folder, so that the node may be freed
  // on another thread.
  void detach();

  std::uint32_t kind() const override { return nav_kind_file_system; }
  wide_text_list current_key() const override { return path_.empty() ? wide_text_list{} : path_.back(); }
  void set_path(const nav_path& path) override;
  nav_path get_path() const override { return path_; }
  bool can_open(const wide_text_list& selection) const override;
  bool can_go_up() const override { return !path_.empty(); }
  bool lists_tracks() const override { return true; }
  bool entry_is_track(const std::wstring& name, const track_handle* handle) override;
  bool is_container(const std::wstring& name) const override { return find_track(name) == nullptr; }
  void get_tracks(const wide_text_list& names, track_handle_list& out) override;
  void get_all_tracks(track_handle_list& out) override { out = tracks_; }
  bool is_track(const std::wstring& name) override { return find_track(name) != nullptr; }
  void go_up() override;
  void open(const wide_text_list& selection) override;
  const wide_text_list& entries() const override { return entries_; }
  void describe(nav_caption& caption) override;
  bool get_folder_path(std::wstring& out) const override;
  bool has_tracks() const override { return !tracks_.empty(); }
  bool get_picture(std::wstring& out) override;
  track_source_ptr source_for(const wide_text_list& names) override;

  // Whether the shown folder is followed for changes.
  bool is_watching() const { return watching_; }

private:
  // What queued change callbacks reach: none while the node is built away
  // from the main thread (a change then only marks it missed) and once it
  // ends.
  struct change_receiver {
    std::atomic<fs_node*> node{nullptr};
    std::atomic<bool> missed{false};
  };

  void refresh();
  // Lists the folder again after it changed on disk.
  void relist();
  void list_drives(wide_text_list& folders);
  // Collects the subfolders, the claimed files and their "file://" paths
  // (one after another in `paths`, each ended by a 0, found at `path_at`).
  void list_folder(const std::wstring& folder, wide_text_list& folders, wide_text_list& files,
                   std::vector<std::uint32_t>& path_at, std::string& paths);
  // Appends the files to the entries in their order and takes their handles.
  void take_files(wide_text_list files, const std::vector<std::uint32_t>& path_at, const std::string& paths);
  void clear_listing() noexcept;
  // The handle listed under the name, null for a folder or an unknown name.
  const track_handle_ptr* find_track(const std::wstring& name) const;
  void on_folder_changed(std::uint32_t generation);
  // A change beside the shown folder or beside a folder above it matters
  // only when the shown folder is gone.
  void on_ancestor_changed(std::uint32_t generation);
  void stop_watching() noexcept;

  nav_node_listener* listener_;
  std::shared_ptr<change_receiver> receiver_;
  nav_path path_;
  wide_text_list entries_;
  // The files' entries follow the folders' from here on; tracks_ holds
  // their handles in the same order, and by_name_ their places in tracks_
  // in code-unit order of their names, for looking names up.
  std::size_t first_file_ = 0;
  track_handle_list tracks_;
  std::vector<std::uint32_t> by_name_;
  folder_watcher watcher_;
  // One on each folder above the shown one, from the drive's root down: a
  // folder renamed changes nothing inside itself or below it.
  std::vector<std::unique_ptr<folder_watcher>> ancestor_watchers_;
  // Every folder watched, from the drive's root down.
  std::vector<std::wstring> watched_folders_;
  std::uint32_t generation_ = 0;
  std::string picture_;
  bool watching_ = false;
};

std::unique_ptr<fs_node> fs_node_create(nav_node_listener* listener, const nav_path& path);

// The drive a "My computer" entry stands for (letter and colon), or empty.
std::wstring fs_drive_of_caption(const std::wstring& caption);

// Where opening the one selected entry of a file-system level at `path`
// leads: into the folder, or from "My computer" into a drive; a caption that
// names no drive stays at "My computer".
nav_path fs_path_opened(const nav_path& path, const std::wstring& entry);
