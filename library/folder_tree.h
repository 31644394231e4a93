// The in-memory picture of one music folder: its subfolders and files, and
// for each file the track handles of its tracks. The folder's worker changes
// it through the operations below, each inside a change batch that gathers
// the handles that entered and left and the infos that were read; flushing
// the batch stores the infos and hands the handles to the owner on the main
// thread. Files that cannot be read yet wait in a retry set.
#pragma once

#include <windows.h>

#include <cstdint>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/abort_signal.h"
#include "foundation/win32_handles.h"
#include "library/folder_file_list.h"
#include "library/library_folder_sink.h"
#include "metadata/shared_info_batch.h"
#include "metadata/track_handle.h"
#include "metadata/track_info.h"

struct folder_tree_dir {
  folder_file_list files;
  std::map<std::string, std::unique_ptr<folder_tree_dir>> dirs;
  DWORD attributes = FILE_ATTRIBUTE_DIRECTORY;
  bool listing_failed = false;
};

struct folder_retry_entry {
  DWORD last_attempt = 0;  // GetTickCount
  DWORD interval = 0;      // milliseconds
};

// Handles keyed by identity, each held once.
using handle_set = std::map<const track_handle*, track_handle_ptr>;

class folder_tree;

class folder_change_batch {
public:
  explicit folder_change_batch(folder_tree& tree);

  void mark_added(const track_handle_ptr& handle);
  void mark_removed(const track_handle_ptr& handle);
  // Created on first use.
  shared_info_batch& infos();
  std::uint32_t size() const noexcept {
    return queued_infos_ + static_cast<std::uint32_t>(added_.size() + removed_.size());
  }

private:
  friend class folder_tree;
  folder_tree& tree_;
  service_ptr<shared_info_batch> infos_;
  std::uint32_t queued_infos_ = 0;
  handle_set added_;
  handle_set removed_;
  const bool on_main_thread_;
};

class folder_tree {
public:
  // Deeper folders are left alone: a bound on the recursion that a link
  // cycle or a hostile library file could otherwise drive without end.
  static constexpr std::uint32_t max_depth = 256;

  folder_tree(library_folder_sink* owner, const abort_signal& abort);
  // Deliveries still queued for the main thread then do nothing.
  ~folder_tree();
  folder_tree(const folder_tree&) = delete;
  folder_tree& operator=(const folder_tree&) = delete;

  // Empties the tree and the retry set and sets the folder's "file://" path.
  void reset(const char* folder_path);
  const std::string& get_path() const noexcept { return path_; }
  const abort_signal& get_abort() const noexcept { return abort_; }

  // Paths are relative to the folder, components separated by '\'.
  void add(folder_change_batch& batch, const std::string& path, DWORD attributes);
  void remove(folder_change_batch& batch, const std::string& path);
  void modify(folder_change_batch& batch, const std::string& path, DWORD attributes);
  void rename(folder_change_batch& batch, const std::string& old_path, const std::string& new_path, DWORD attributes);
  // The whole folder in a batch of its own. A folder that cannot be listed
  // at all throws and keeps everything: an unplugged drive or a folder that
  // is briefly gone must not empty the library. With `read_as_found` the
  // files found so far are read and handed over while the listing goes on,
  // so that a large folder shows its first tracks at once; otherwise they
  // wait in the retry set.
  void full_rescan(bool read_as_found = false);
  // The attributes last recorded for a file or subfolder; false when unknown.
  bool known_attributes(const std::string& path, DWORD& out) const;

  void retry_add(const std::string& path, bool now);
  void retry_remove(const std::string& path);
  // Reads the files whose waiting time has passed.
  void run_retry_queue(folder_change_batch& batch);
  bool nothing_pending() const noexcept { return retry_.empty() && pending_added_.empty() && pending_removed_.empty(); }

  // Stores the batch's infos and passes its handles on.
  void flush(folder_change_batch& batch);
  // Hands the pending handles to the owner on the main thread.
  void deliver();

  // Whether the tracks a saved blob would hold changed since the tree was
  // restored from one or last asked; asking forgets it. Files without tracks
  // do not count: what is stored of them only spares reading them again, and
  // a folder that holds the profile sees some of them change at every run.
  bool take_unsaved_changes() noexcept { return changed_.exchange(false); }
  void forget_unsaved_changes() noexcept { changed_ = false; }

  // For the blob reader and writer.
  folder_tree_dir& root() noexcept { return root_; }
  critical_section& lock() noexcept { return lock_; }
  // The "file://" path of a relative path ("" is the folder itself).
  std::string full_path(const std::string& relative) const;

private:
  struct owner_holder {
    library_folder_sink* sink;
  };

  void rescan(folder_change_batch& batch, folder_tree_dir& dir, const std::string& path, DWORD attributes,
              std::uint32_t depth);
  // Within a full rescan that reads as it finds.
  void read_found_files(folder_change_batch& batch);
  // `listed`: the entry was found by listing its folder rather than named by
  // a change record, so no writer is known to be busy with it.
  void add_at(folder_change_batch& batch, folder_tree_dir& dir, const std::string& path, const std::string& name,
              DWORD attributes, std::uint32_t depth, bool listed = false);
  void set_file_attributes(folder_change_batch& batch, folder_tree_file& file, const std::string& path,
                           DWORD attributes, bool listed = false);
  void drop_file(folder_change_batch& batch, folder_tree_file& file, const std::string& path);
  void remove_at(folder_change_batch& batch, folder_tree_dir& dir, const std::string& path, const std::string& name);
  // True when the folder held any track.
  bool mark_all_removed(folder_change_batch& batch, folder_tree_dir& dir);
  // What reading one file gave, before any of it reaches the tree.
  struct file_reading {
    bool in_use = false;  // another program holds the file: try again later
    std::uint64_t time = 0;
    track_handle_list handles;
    std::vector<std::pair<track_handle_ptr, track_info_impl>> infos;  // infos to store
  };
  // May run on any thread: touches neither the tree nor a batch.
  void load_file(const std::string& path, DWORD attributes, file_reading& out);
  void read_tracks(const vantrel_io::file_ptr& file, const std::string& full, file_reading& out);
  // On the worker: false when the file must be tried again.
  bool apply_reading(folder_change_batch& batch, folder_tree_file& file, file_reading& reading);
  void merge(handle_set& added, handle_set& removed);
  bool accept(const char* path);
  folder_tree_dir* find_dir(const std::string& path, bool skip_hidden);
  folder_tree_file* find_file(const std::string& path);

  critical_section lock_;
  const abort_signal& abort_;
  std::string path_;
  folder_tree_dir root_;
  std::map<std::string, folder_retry_entry> retry_;
  handle_set pending_added_;
  handle_set pending_removed_;
  std::shared_ptr<owner_holder> owner_;
  std::atomic<bool> changed_{true};
  // The pacing of a full rescan that reads as it finds; unused otherwise.
  struct scan_pacing {
    bool active = false;
    DWORD last_read = 0;
    DWORD last_flush = 0;
    DWORD flush_interval = 0;
  } pacing_;
};

// The wait after `interval` ms: half as long again, within 250 ms and about
// 11 minutes.
DWORD next_retry_interval(DWORD interval);

// The relative path of `name` inside `parent` ("" is the root).
std::string join_relative(const std::string& parent, const std::string& name);
// Whether two relative paths name entries of one folder, as `rename` asks.
bool in_same_folder(const std::string& a, const std::string& b);
