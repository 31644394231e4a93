#include "library/media_library.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

#include "core/app_state.h"
#include "core/config_item_registrations.h"
#include "core/main_thread_queue.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "core/ui_control.h"
#include "foundation/crash.h"
#include "foundation/main_thread.h"
#include "foundation/path_names.h"
#include "io/io_exceptions.h"
#include "library/library_database.h"
#include "library/library_folder_sink.h"
#include "library/track_handle_set.h"
#include "metadata/track_info_listener.h"

namespace {

void refresh_scanning();

// One per folder entry: the tracks its folder reported. The library's tracks
// are those of its open folders' sinks: a set of them all beside would cost
// every track as much again.
class folder_sink : public library_folder_sink {
public:
  track_handle_set tracks;
  bool closed = false;

  bool accept(const char*) override { return true; }
  void tracks_added(const track_handle_list& handles) override;
  void tracks_removed(const track_handle_list& handles) override;
  void set_scanning(bool scanning) override {
    if (scanning_.exchange(scanning) == scanning) return;
    main_thread_queue::post(new service_counted<main_thread_call>([] { refresh_scanning(); }));
  }
  bool is_scanning() const noexcept { return scanning_.load(); }
  void close();

private:
  std::atomic<bool> scanning_{false};
};

struct folder_entry {
  library_folder_ptr folder;
  service_ptr<folder_sink> sink;
  std::uint32_t mode = 0;
};

struct library_state {
  std::map<std::string, folder_entry> folders;
  std::vector<library_change_callback*> callbacks;
  std::vector<std::string> folder_list;
  bool loaded = false;
  bool scanning = false;
  bool unsaved = false;
};

library_state& state() {
  static library_state instance;
  return instance;
}

template <class Call>
void tell_callbacks(Call call) {
  // A callback may unregister itself (or another) while it is told.
  const std::vector<library_change_callback*> callbacks = state().callbacks;
  for (library_change_callback* callback : callbacks) call(*callback);
}

// Folders may overlap (one inside another): a track is in the library while
// any open folder holds it, and comes and goes with the first and the last.
bool held_by_another_folder(const track_handle* handle, const folder_sink* other_than) {
  for (const auto& [text, entry] : state().folders)
    if (entry.sink && entry.sink.get() != other_than && !entry.sink->closed && entry.sink->tracks.contains(handle))
      return true;
  return false;
}

bool library_holds(const track_handle* handle) { return held_by_another_folder(handle, nullptr); }

// Tells of those of `handles`, which `from` now holds, that no other folder held.
void announce_added(const track_handle_list& handles, const folder_sink* from) {
  if (state().callbacks.empty()) return;
  track_handle_list added;
  for (const track_handle_ptr& handle : handles)
    if (!held_by_another_folder(handle.get(), from)) added.push_back(handle);
  if (!added.empty()) tell_callbacks([&](library_change_callback& c) { c.on_items_added(added); });
}

// Tells of those of `handles`, which `from` no longer holds, that no other
// folder holds.
void announce_removed(const track_handle_list& handles, const folder_sink* from) {
  track_handle_list removed;
  for (const track_handle_ptr& handle : handles)
    if (!held_by_another_folder(handle.get(), from)) removed.push_back(handle);
  if (!removed.empty()) tell_callbacks([&](library_change_callback& c) { c.on_items_removed(removed); });
}

void set_scanning(bool scanning) {
  if (state().scanning == scanning) return;
  state().scanning = scanning;
  tell_callbacks([&](library_change_callback& c) { c.on_scanning_changed(scanning); });
}

void refresh_scanning() {
  bool any = false;
  for (const auto& [text, entry] : state().folders)
    if (entry.sink && entry.sink->is_scanning()) {
      any = true;
      break;
    }
  set_scanning(any);
}

// The tracks of `sinks`, in their order: a track of overlapping folders is
// listed with the first folder holding it.
void list_tracks_of(const std::vector<const folder_sink*>& sinks, track_handle_list& out) {
  out.clear();
  for (std::size_t i = 0; i < sinks.size(); ++i) {
    if (i == 0) {
      sinks[0]->tracks.append_to(out);
      continue;
    }
    out.reserve(out.size() + sinks[i]->tracks.size());
    sinks[i]->tracks.for_each([&](track_handle* handle) {
      for (std::size_t before = 0; before < i; ++before)
        if (sinks[before]->tracks.contains(handle)) return;
      out.emplace_back(handle);
    });
  }
}

void folder_sink::tracks_added(const track_handle_list& handles) {
  if (closed) return;
  // The first load, with no one listening yet, needs no list of what was new.
  if (state().callbacks.empty()) {
    for (const track_handle_ptr& handle : handles) tracks.insert(handle);
    return;
  }
  track_handle_list fresh;
  for (const track_handle_ptr& handle : handles)
    if (tracks.insert(handle)) fresh.push_back(handle);
  announce_added(fresh, this);
}

void folder_sink::tracks_removed(const track_handle_list& handles) {
  if (closed) return;
  track_handle_list gone;
  for (const track_handle_ptr& handle : handles)
    if (tracks.erase(handle.get())) gone.push_back(handle);
  announce_removed(gone, this);
}

void folder_sink::close() {
  closed = true;
  track_handle_list all;
  tracks.append_to(all);
  tracks.clear();
  announce_removed(all, this);
}

// A folder restored ahead runs no worker until the library takes it.
constexpr std::uint32_t idle_mode = library_folder::mode_no_first_scan | library_folder::mode_no_monitoring;

void open_new(folder_entry& entry, const std::string& path, std::uint32_t mode) {
  entry.mode = mode;
  entry.sink = new service_counted<folder_sink>();
  track_handle_list none;
  entry.folder = folder_monitor::create(entry.sink.get(), path.c_str(), nullptr, mode, none);
}

void open_restored(folder_entry& entry, restored_folder& made, std::uint32_t mode) {
  if (made.failure) std::rethrow_exception(made.failure);
  entry.mode = mode;
  // Every sink of a restored folder is one of ours (restore_folder).
  entry.sink = static_cast<folder_sink*>(made.sink.get());
  entry.folder = std::move(made.folder);
  if (mode != idle_mode) entry.folder->set_mode(mode);
  // The sink took its tracks where the folder was restored.
  announce_added(made.tracks, entry.sink.get());
}

// The library hears of info changes as one of the listener services.
class library_info_listener : public track_info_listener {
public:
  void on_info_changed(const track_handle_list& handles, std::uint8_t) override {
    media_library::on_info_changed(handles);
  }
};
service_factory_single_t<library_info_listener> info_listener_registration;

}  // namespace

namespace media_library {

bool contains(const track_handle_ptr& handle) {
  ensure_loaded();
  return library_holds(handle.get());
}

void get_all(track_handle_list& out) {
  ensure_loaded();
  std::vector<const folder_sink*> sinks;
  for (const auto& [text, entry] : state().folders)
    if (entry.sink && !entry.sink->closed) sinks.push_back(entry.sink.get());
  list_tracks_of(sinks, out);
}

void enumerate(const std::function<bool(const track_handle_ptr&)>& visit) {
  track_handle_list all;
  get_all(all);
  for (const track_handle_ptr& handle : all)
    if (!visit(handle)) return;
}

void register_callback(library_change_callback* callback) {
  ensure_loaded();
  state().callbacks.push_back(callback);
}

void unregister_callback(library_change_callback* callback) {
  ensure_loaded();
  auto& callbacks = state().callbacks;
  callbacks.erase(std::remove(callbacks.begin(), callbacks.end(), callback), callbacks.end());
}

bool is_scanning() { return state().scanning; }

void show_preferences() {
  constexpr GUID music_folders_page = {0x2D269FA9, 0x6F78, 0x4CEC, {0x9F, 0x1F, 0x0A, 0x17, 0x6E, 0xFC, 0xE7, 0x7A}};
  service_lookup_unique_t<ui_control>()->show_preferences(music_folders_page);
}
bool is_loaded() { return state().loaded; }

void ensure_loaded() {
  if (qiv::main_thread_id() != 0 && qiv::main_thread_id() != GetCurrentThreadId()) qiv::crash();
  if (state().loaded) return;
  try {
    library_database_load();
    state().loaded = true;
  } catch (...) {
    shutdown();
    throw;
  }
}

std::string folder_text_to_path(const std::string& text) {
  std::string path = text;
  if (text == ".") {
    const char* program = app::state().program_path.get_ptr();
    path.assign(program, qiv::scan_filename(program));
  }
  path = "file://" + path;
  // A folder loses its final '\'; the root of a drive ("C:\") keeps it.
  if (path.size() > 1 && path.back() == '\\' && path[path.size() - 2] != ':' && path[path.size() - 2] != '\\')
    path.pop_back();
  return path;
}

std::string folder_text_native(const std::string& text) {
  if (text != ".") return text;
  return folder_text_to_path(text).substr(std::strlen("file://"));
}

void apply_folders(const stored_blob_map& blobs, restored_folder_map restored) {
  library_state& s = state();
  const std::set<std::string> listed(s.folder_list.begin(), s.folder_list.end());
  for (auto it = s.folders.begin(); it != s.folders.end();) {
    if (listed.count(it->first) != 0) {
      ++it;
      continue;
    }
    it->second.sink->close();
    it = s.folders.erase(it);
    s.unsaved = true;
  }
  for (const auto& [text, blob] : blobs)
    if (listed.count(text) == 0) s.unsaved = true;  // its record is not written again
  const std::uint32_t mode = config::library_monitor_folders.get()
                                 ? 0
                                 : library_folder::mode_no_first_scan | library_folder::mode_no_monitoring;
  for (const std::string& text : s.folder_list) {
    auto [it, inserted] = s.folders.try_emplace(text);
    folder_entry& entry = it->second;
    if (!inserted) {
      if (entry.mode == mode) continue;
      const bool monitoring_changed = ((entry.mode ^ mode) & library_folder::mode_no_monitoring) != 0;
      entry.mode = mode;
      if (monitoring_changed) {
        std::uint32_t next = mode;
        if ((mode & library_folder::mode_no_monitoring) == 0) next &= ~library_folder::mode_no_first_scan;
        entry.folder->set_mode(next);
      }
      continue;
    }
    try {
      const std::string path = folder_text_to_path(text);
      auto ahead = restored.find(text);
      auto blob = blobs.find(text);
      if (ahead == restored.end() && blob == blobs.end()) {
        s.unsaved = true;
        open_new(entry, path, mode);
        continue;
      }
      try {
        restored_folder made =
            ahead != restored.end() ? std::move(ahead->second) : restore_folder(text, *blob->second);
        open_restored(entry, made, mode);
      } catch (const vantrel_io::exception_io_data&) {
        // The stored record is unusable: the folder starts afresh.
        entry.folder.reset();
        if (entry.sink) entry.sink->close();
        s.unsaved = true;
        open_new(entry, path, mode);
      }
    } catch (...) {
      if (entry.sink) entry.sink->close();
      s.folders.erase(it);
      throw;
    }
  }
}

restored_folder restore_folder(const std::string& text, vantrel_io::file_object& blob) {
  restored_folder made;
  try {
    service_ptr<folder_sink> sink(new service_counted<folder_sink>());
    blob.seek(0, never_raised_abort_signal());
    made.folder = folder_monitor::create(sink.get(), folder_text_to_path(text).c_str(), &blob, idle_mode, made.tracks);
    for (const track_handle_ptr& handle : made.tracks) sink->tracks.insert(handle);
    made.sink = sink.get();
  } catch (...) {
    made = {};
    made.failure = std::current_exception();
  }
  return made;
}

void listing_after_restore(const restored_folder_map& restored, const std::vector<std::string>& listed,
                           track_handle_list& out) {
  // The library keeps its folders in the order of their texts, as `restored` does.
  std::vector<const folder_sink*> sinks;
  for (const auto& [text, made] : restored)
    if (!made.failure && std::find(listed.begin(), listed.end(), text) != listed.end())
      sinks.push_back(static_cast<const folder_sink*>(made.sink.get()));
  list_tracks_of(sinks, out);
}

void rescan_folders() {
  for (auto& [text, entry] : state().folders) entry.folder->set_mode(entry.mode & ~library_folder::mode_no_first_scan);
}

const std::vector<std::string>& folder_list() { return state().folder_list; }
void set_folder_list(std::vector<std::string> folders) { state().folder_list = std::move(folders); }

void on_info_changed(const track_handle_list& handles) {
  track_handle_list ours;
  for (const track_handle_ptr& handle : handles)
    if (library_holds(handle.get())) ours.push_back(handle);
  if (ours.empty()) return;
  state().unsaved = true;
  tell_callbacks([&](library_change_callback& c) { c.on_items_modified(ours); });
}

bool take_unsaved_changes() {
  bool any = std::exchange(state().unsaved, false);
  for (auto& [text, entry] : state().folders)
    if (entry.folder->take_unsaved_changes()) any = true;
  return any;
}

void mark_unsaved() { state().unsaved = true; }

std::uint32_t folder_count() { return static_cast<std::uint32_t>(state().folders.size()); }

void for_each_folder(const std::function<void(const std::string& text, library_folder& folder)>& visit) {
  for (auto& [text, entry] : state().folders) visit(text, *entry.folder);
}

void shutdown() {
  library_database_drop_preload();
  library_state& s = state();
  s.loaded = false;
  s.unsaved = false;  // the next load starts from what the file holds
  for (auto& [text, entry] : s.folders)
    if (entry.sink) entry.sink->close();
  s.folders.clear();
}

void shutdown_for_exit() {
  library_database_drop_preload();
  library_state& s = state();
  s.loaded = false;
  s.unsaved = false;
  for (auto& [text, entry] : s.folders) {
    if (entry.sink) entry.sink->closed = true;  // deliveries still queued do nothing
    if (entry.folder) entry.folder->set_mode(library_folder::mode_no_first_scan | library_folder::mode_no_monitoring);
  }
  // Never freed: the state's own destructor would otherwise free them at
  // static destruction after all.
  auto* left = new library_state;
  left->folders.swap(s.folders);
}

}  // namespace media_library
