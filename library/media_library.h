// The media library: the set of every track found in the music folders, one
// folder entry per music folder, and the callbacks of those who show it.
// Main thread only, without a lock; folder workers reach it through their
// sinks, which post to the main thread.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/service_object.h"
#include "io/file_object.h"
#include "library/library_folder.h"
#include "metadata/track_handle.h"

class library_change_callback {
public:
  // The lists are valid only during the call.
  virtual void on_items_added(const track_handle_list& handles) = 0;
  virtual void on_items_removed(const track_handle_list& handles) = 0;
  virtual void on_items_modified(const track_handle_list& handles) = 0;
  virtual void on_scanning_changed(bool scanning) = 0;

protected:
  ~library_change_callback() = default;
};

// Stored folder blobs by folder text, as the library file gives them.
using stored_blob_map = std::map<std::string, vantrel_io::file_ptr>;

// A music folder restored from its stored blob ahead of the library's first
// use, perhaps on another thread. Its folder object runs no worker yet, and
// its tracks enter the library only when apply_folders takes it.
struct restored_folder {
  library_folder_ptr folder;
  service_ptr<library_folder_sink> sink;
  track_handle_list tracks;
  // Set when it could not be restored; apply_folders treats it as a failure
  // of making the folder there (damaged data starts the folder afresh).
  std::exception_ptr failure;
};
using restored_folder_map = std::map<std::string, restored_folder>;

namespace media_library {

// Loading operations: each loads the library first.
bool contains(const track_handle_ptr& handle);
void get_all(track_handle_list& out);
// Stops when `visit` answers false.
void enumerate(const std::function<bool(const track_handle_ptr&)>& visit);
void register_callback(library_change_callback* callback);
// Every registration of the callback goes.
void unregister_callback(library_change_callback* callback);

// These never load.
bool is_scanning();
// Opens the preferences at the music folders page.
void show_preferences();
bool is_loaded();

// Reads "database.dat" and applies the folders, once. A failure leaves the
// library unloaded and reaches the caller; the next call tries again. Off
// the main thread it is a fatal internal error.
void ensure_loaded();
// Makes the folder entries match the folder list: entries no longer listed
// lose their tracks, new ones start from their stored blob when there is one
// (taken from `restored` when it was restored ahead).
void apply_folders(const stored_blob_map& blobs, restored_folder_map restored = {});
// Any thread: touches none of the library's state.
restored_folder restore_folder(const std::string& text, vantrel_io::file_object& blob);
// Any thread: the tracks an empty library lists once apply_folders takes
// `restored` with the folders `listed`, in the order get_all gives them.
void listing_after_restore(const restored_folder_map& restored, const std::vector<std::string>& listed,
                           track_handle_list& out);
// Scans every folder once more (the refresh command while not monitoring).
void rescan_folders();
// The folder texts that make up the library (see library_folder_list.cpp).
const std::vector<std::string>& folder_list();
void set_folder_list(std::vector<std::string> folders);
// The native folder of a folder text: "." is the program's folder, whatever
// the working folder; any other text is a native path already.
std::string folder_text_native(const std::string& text);
// The "file://" path of a folder text: "." is the program's folder.
std::string folder_text_to_path(const std::string& text);

// Track info of these handles changed.
void on_info_changed(const track_handle_list& handles);

// Every folder object in folder-text order (the library file's order).
std::uint32_t folder_count();
void for_each_folder(const std::function<void(const std::string& text, library_folder& folder)>& visit);

// Whether the library file would differ from the one on disk: a folder came,
// went or started afresh, a folder's tree or a track's info changed. Asking
// forgets it; a save that fails marks it again.
bool take_unsaved_changes();
void mark_unsaved();

// After the user interface has gone: drops every folder and track.
void shutdown();
// The same when the process ends next and the library file has been saved:
// the folder workers stop and the library is told of nothing more, but its
// tracks and folders are left for the system to reclaim with the process
// instead of being freed one by one.
void shutdown_for_exit();

}  // namespace media_library
