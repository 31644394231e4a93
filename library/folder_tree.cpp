#include "library/folder_tree.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "core/main_thread_queue.h"
#include "foundation/cpu_count.h"
#include "foundation/exceptions.h"
#include "foundation/main_thread.h"
#include "foundation/string_buffer.h"
#include "foundation/text_or_resource_id.h"
#include "foundation/win32_text.h"
#include "io/io_exceptions.h"
#include "io/named_lock.h"
#include "io/path_schemes.h"
#include "library/ordered_parallel_loop.h"
#include "metadata/input_dispatch.h"
#include "metadata/tag_writes_in_progress.h"
#include "metadata/track_handle_registry.h"
#include "metadata/track_info.h"

namespace {

constexpr DWORD hidden_bit = FILE_ATTRIBUTE_HIDDEN;
constexpr DWORD directory_bit = FILE_ATTRIBUTE_DIRECTORY;
constexpr DWORD first_retry_delay_ms = 250;
constexpr DWORD longest_retry_delay_ms = 666000;
// Reading files in parallel: from this many due files on, with at most this
// many threads beside the worker. Under Wine the process heap serialises
// threads, and the readers allocate per file, so more gain nothing.
constexpr std::uint32_t min_files_for_helpers = 32;
constexpr std::uint32_t max_read_helpers = 3;
// A scan that reads as it finds reads once this many files wait, or once
// this long has passed; it hands over its first tracks at once and then at
// growing intervals, since every hand-over costs the views a pass.
constexpr std::uint32_t scan_read_chunk = 256;
constexpr DWORD scan_read_interval_ms = 250;
constexpr DWORD scan_first_flush_interval_ms = 500;
constexpr DWORD scan_longest_flush_interval_ms = 5000;

bool is_hidden(DWORD attributes) { return (attributes & hidden_bit) != 0; }

// Splits "a\b\c" into its components.
std::vector<std::string> split_path(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool is_dots_only(const std::string& name) { return std::strspn(name.c_str(), ".\\/") == name.size(); }

struct listed_entry {
  DWORD attributes;
  std::uint64_t time;
};

struct listing {
  std::map<std::string, listed_entry, std::less<>> files;
  std::map<std::string, DWORD> dirs;
};

bool contains(std::span<const track_handle_ptr> list, const track_handle_ptr& handle) {
  return std::find_if(list.begin(), list.end(), [&](const track_handle_ptr& h) { return h.get() == handle.get(); }) !=
         list.end();
}

bool same_handles(std::span<const track_handle_ptr> a, std::span<const track_handle_ptr> b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const track_handle_ptr& x, const track_handle_ptr& y) { return x.get() == y.get(); });
}

}  // namespace

std::string join_relative(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "\\" + name;
}

bool in_same_folder(const std::string& a, const std::string& b) {
  const std::vector<std::string> from = split_path(a);
  const std::vector<std::string> to = split_path(b);
  return !from.empty() && from.size() == to.size() && std::equal(from.begin(), from.end() - 1, to.begin());
}

// ---------------------------------------------------------------------------

folder_change_batch::folder_change_batch(folder_tree& tree)
    : tree_(tree), on_main_thread_(qiv::main_thread_id() == GetCurrentThreadId()) {}

void folder_change_batch::mark_added(const track_handle_ptr& handle) {
  removed_.erase(handle.get());
  added_.emplace(handle.get(), handle);
}

void folder_change_batch::mark_removed(const track_handle_ptr& handle) {
  added_.erase(handle.get());
  removed_.emplace(handle.get(), handle);
}

shared_info_batch& folder_change_batch::infos() {
  if (!infos_) infos_ = new service_counted<shared_info_batch>();
  return *infos_;
}

// ---------------------------------------------------------------------------

folder_tree::folder_tree(library_folder_sink* owner, const abort_signal& abort)
    : abort_(abort), owner_(std::make_shared<owner_holder>(owner_holder{owner})) {}

folder_tree::~folder_tree() { owner_->sink = nullptr; }

void folder_tree::reset(const char* folder_path) {
  critical_section_lock hold(lock_);
  retry_.clear();
  root_.files.clear();
  root_.dirs.clear();
  path_ = folder_path;
  changed_ = true;
}

std::string folder_tree::full_path(const std::string& relative) const {
  if (relative.empty()) return path_;
  if (!path_.empty() && path_.back() == '\\') return path_ + relative;
  return path_ + "\\" + relative;
}

folder_tree_dir* folder_tree::find_dir(const std::string& path, bool skip_hidden) {
  folder_tree_dir* dir = &root_;
  for (const std::string& part : split_path(path)) {
    auto found = dir->dirs.find(part);
    if (found == dir->dirs.end()) return nullptr;
    dir = found->second.get();
    if (skip_hidden && is_hidden(dir->attributes)) return nullptr;
  }
  return dir;
}

folder_tree_file* folder_tree::find_file(const std::string& path) {
  const std::size_t cut = path.rfind('\\');
  folder_tree_dir* dir = cut == std::string::npos ? &root_ : find_dir(path.substr(0, cut), false);
  if (dir == nullptr) return nullptr;
  return dir->files.find(cut == std::string::npos ? std::string_view(path) : std::string_view(path).substr(cut + 1));
}

bool folder_tree::known_attributes(const std::string& path, DWORD& out) const {
  auto& self = const_cast<folder_tree&>(*this);
  if (const folder_tree_file* file = self.find_file(path)) {
    out = file->attributes;
    return true;
  }
  if (const folder_tree_dir* dir = self.find_dir(path, false); dir != nullptr && dir != &root_) {
    out = dir->attributes;
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Operations named by change records.

void folder_tree::add(folder_change_batch& batch, const std::string& path, DWORD attributes) {
  const std::vector<std::string> parts = split_path(path);
  if (parts.empty() || parts.size() > max_depth) return;
  folder_tree_dir* dir = &root_;
  std::string walked;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    auto found = dir->dirs.find(parts[i]);
    if (found == dir->dirs.end()) {
      critical_section_lock hold(lock_);  // the blob writer may be walking the maps
      found = dir->dirs.emplace(parts[i], std::make_unique<folder_tree_dir>()).first;
    }
    dir = found->second.get();
    if (is_hidden(dir->attributes)) return;
    walked = join_relative(walked, parts[i]);
  }
  add_at(batch, *dir, walked, parts.back(), attributes, static_cast<std::uint32_t>(parts.size()));
}

void folder_tree::add_at(folder_change_batch& batch, folder_tree_dir& dir, const std::string& parent,
                         const std::string& name, DWORD attributes, std::uint32_t depth, bool listed) {
  const std::string path = join_relative(parent, name);
  if ((attributes & directory_bit) != 0) {
    auto found = dir.dirs.find(name);
    if (found == dir.dirs.end()) {
      critical_section_lock hold(lock_);
      found = dir.dirs.emplace(name, std::make_unique<folder_tree_dir>()).first;
    }
    rescan(batch, *found->second, path, attributes, depth);
    return;
  }
  folder_tree_file* file = dir.files.find(name);
  if (file == nullptr) {
    critical_section_lock hold(lock_);
    file = &dir.files.insert(name);
  }
  set_file_attributes(batch, *file, path, attributes, listed);
}

void folder_tree::set_file_attributes(folder_change_batch& batch, folder_tree_file& file, const std::string& path,
                                      DWORD attributes, bool listed) {
  {
    critical_section_lock hold(lock_);
    file.attributes = attributes;
  }
  if (is_hidden(attributes)) drop_file(batch, file, path);
  // After a change record a writer has likely finished by the first retry;
  // a file a listing found is read at once, or every scan would idle. Should
  // a writer still be busy with it, its change records have it read again.
  else retry_add(path, listed);
}

void folder_tree::drop_file(folder_change_batch& batch, folder_tree_file& file, const std::string& path) {
  retry_remove(path);
  for (const track_handle_ptr& handle : file.handles) batch.mark_removed(handle);
  critical_section_lock hold(lock_);
  if (!file.handles.empty()) changed_ = true;
  file.handles.clear();
  file.file_time = 0;
}

void folder_tree::remove(folder_change_batch& batch, const std::string& path) {
  const std::size_t cut = path.rfind('\\');
  folder_tree_dir* dir = cut == std::string::npos ? &root_ : find_dir(path.substr(0, cut), false);
  if (dir == nullptr) return;
  remove_at(batch, *dir, cut == std::string::npos ? std::string() : path.substr(0, cut),
            cut == std::string::npos ? path : path.substr(cut + 1));
}

void folder_tree::remove_at(folder_change_batch& batch, folder_tree_dir& dir, const std::string& parent,
                            const std::string& name) {
  const std::string path = join_relative(parent, name);
  if (auto found = dir.dirs.find(name); found != dir.dirs.end()) {
    if (mark_all_removed(batch, *found->second)) changed_ = true;
    // Waiting files below it have nothing left to read.
    const std::string prefix = path + "\\";
    for (auto it = retry_.lower_bound(prefix); it != retry_.end() && it->first.compare(0, prefix.size(), prefix) == 0;)
      it = retry_.erase(it);
    std::unique_ptr<folder_tree_dir> gone;
    {
      critical_section_lock hold(lock_);
      gone = std::move(found->second);
      dir.dirs.erase(found);
    }
  }
  if (folder_tree_file* file = dir.files.find(name)) {
    retry_remove(path);
    for (const track_handle_ptr& handle : file->handles) batch.mark_removed(handle);
    if (!file->handles.empty()) changed_ = true;
    critical_section_lock hold(lock_);
    dir.files.erase(name);
  }
}

bool folder_tree::mark_all_removed(folder_change_batch& batch, folder_tree_dir& dir) {
  bool any = false;
  for (auto& [name, child] : dir.dirs) any |= mark_all_removed(batch, *child);
  for (const folder_tree_file& file : dir.files)
    for (const track_handle_ptr& handle : file.handles) {
      batch.mark_removed(handle);
      any = true;
    }
  return any;
}

void folder_tree::modify(folder_change_batch& batch, const std::string& path, DWORD attributes) {
  const std::vector<std::string> parts = split_path(path);
  if (parts.empty()) return;
  const std::size_t cut = path.rfind('\\');
  const std::string parent = cut == std::string::npos ? std::string() : path.substr(0, cut);
  folder_tree_dir* dir = find_dir(parent, true);
  if (dir == nullptr) return;
  const std::string& name = parts.back();
  if ((attributes & directory_bit) == 0) {
    if (folder_tree_file* file = dir->files.find(name)) set_file_attributes(batch, *file, path, attributes);
    return;
  }
  auto found = dir->dirs.find(name);
  if (found == dir->dirs.end()) return;
  folder_tree_dir& child = *found->second;
  if (is_hidden(child.attributes) == is_hidden(attributes) && !child.listing_failed) {
    critical_section_lock hold(lock_);
    child.attributes = attributes;
    return;
  }
  rescan(batch, child, path, attributes, static_cast<std::uint32_t>(parts.size()));
}

void folder_tree::rename(folder_change_batch& batch, const std::string& old_path, const std::string& new_path,
                         DWORD attributes) {
  retry_remove(old_path);
  const std::vector<std::string> from = split_path(old_path);
  const std::vector<std::string> to = split_path(new_path);
  if (from.empty() || to.empty()) return;
  // A rename never moves an entry between folders: both names share every
  // component but the last.
  if (!in_same_folder(old_path, new_path)) throw qiv::exception_bug_check_v2();
  const std::size_t cut = old_path.rfind('\\');
  const std::string parent = cut == std::string::npos ? std::string() : old_path.substr(0, cut);
  folder_tree_dir* dir = find_dir(parent, true);
  if (dir == nullptr) return;
  remove_at(batch, *dir, parent, from.back());
  add_at(batch, *dir, parent, to.back(), attributes, static_cast<std::uint32_t>(to.size()));
}

// ---------------------------------------------------------------------------
// Rescans.

namespace {

// Lists a folder. False when the listing broke off; what was listed by then
// is kept. A folder that cannot be looked up at all throws when `strict`.
bool list_folder(const std::string& folder_url, listing& out, const abort_signal& abort, bool strict) {
  qiv::string_buffer native;
  if (!vantrel_io::file_url_to_long_path(folder_url.c_str(), native)) {
    if (strict) throw vantrel_io::exception_io_no_handler_for_path();
    return false;
  }
  if (native.get_length() == 0 || native.get_ptr()[native.get_length() - 1] != '\\') native.add_string("\\");
  native.add_string("*.*");
  const text_or_resource_id pattern(native.get_ptr());
  for (;;) {
    out.files.clear();
    out.dirs.clear();
    abort.check_and_throw();
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern.get(), &data);
    if (find == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return true;  // an empty folder
      if (error == ERROR_SHARING_VIOLATION) {
        abort.sleep(0.1);
        continue;
      }
      if (strict) vantrel_io::throw_exception_io_from_win32(error);
      return false;
    }
    qiv::string_buffer name;
    bool complete = true;
    do {
      if (abort.is_set()) {
        FindClose(find);
        abort.check_and_throw();
      }
      wide_to_utf8(data.cFileName, name);
      std::string entry(name.get_ptr(), name.get_length());
      if ((data.dwFileAttributes & directory_bit) != 0) {
        if (!is_dots_only(entry)) out.dirs[entry] = data.dwFileAttributes;
      } else {
        const std::uint64_t time =
            (std::uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
        out.files[entry] = listed_entry{data.dwFileAttributes, time};
      }
    } while (FindNextFileW(find, &data));
    const DWORD end = GetLastError();
    FindClose(find);
    if (end != ERROR_NO_MORE_FILES) complete = false;
    return complete;
  }
}

}  // namespace

void folder_tree::full_rescan(bool read_as_found) {
  folder_change_batch batch(*this);
  // The folder itself must answer: when it is gone, its tracks are kept
  // until it comes back.
  listing probe;
  list_folder(path_, probe, abort_, true);
  const DWORD now = GetTickCount();
  pacing_ = scan_pacing{read_as_found && !batch.on_main_thread_, now - scan_read_interval_ms,
                        now - scan_first_flush_interval_ms, scan_first_flush_interval_ms};
  try {
    rescan(batch, root_, std::string(), directory_bit, 0);
  } catch (...) {
    pacing_.active = false;
    flush(batch);  // what was read is kept, as a stopped retry run keeps it
    throw;
  }
  pacing_.active = false;
  flush(batch);
}

void folder_tree::read_found_files(folder_change_batch& batch) {
  if (!pacing_.active || retry_.empty()) return;
  if (retry_.size() < scan_read_chunk && GetTickCount() - pacing_.last_read < scan_read_interval_ms) return;
  run_retry_queue(batch);
  pacing_.last_read = GetTickCount();
  if (batch.size() == 0 || GetTickCount() - pacing_.last_flush < pacing_.flush_interval) return;
  flush(batch);
  pacing_.last_flush = GetTickCount();
  pacing_.flush_interval = std::min(pacing_.flush_interval * 2, scan_longest_flush_interval_ms);
}

void folder_tree::rescan(folder_change_batch& batch, folder_tree_dir& dir, const std::string& path, DWORD attributes,
                         std::uint32_t depth) {
  {
    critical_section_lock hold(lock_);
    dir.attributes = attributes;
    dir.listing_failed = false;
  }
  listing listed;
  // A directory link (a junction, or a symbolic link that may point back up
  // the tree) is not entered; nor is anything past the depth bound.
  const bool enter = !is_hidden(attributes) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && depth < max_depth;
  if (enter && !list_folder(full_path(path), listed, abort_, false)) {
    critical_section_lock hold(lock_);
    dir.listing_failed = true;
  }

  std::vector<std::string> gone;
  for (const folder_tree_file& file : dir.files) {
    const char* name = dir.files.name_of(file);
    if (listed.files.find(std::string_view(name)) == listed.files.end()) gone.push_back(name);
  }
  for (const std::string& name : gone) remove_at(batch, dir, path, name);

  for (const auto& [name, entry] : listed.files) {
    folder_tree_file* found = dir.files.find(name);
    if (found == nullptr) {
      add_at(batch, dir, path, name, entry.attributes, depth + 1, true);
      continue;
    }
    folder_tree_file& file = *found;
    const std::string file_path = join_relative(path, name);
    {
      critical_section_lock hold(lock_);
      file.attributes = entry.attributes;
    }
    if (is_hidden(entry.attributes)) drop_file(batch, file, file_path);
    else if (entry.time != file.file_time) retry_add(file_path, true);
  }
  {
    critical_section_lock hold(lock_);
    dir.files.shrink_to_fit();
  }
  read_found_files(batch);

  gone.clear();
  for (const auto& [name, child] : dir.dirs)
    if (!listed.dirs.count(name)) gone.push_back(name);
  for (const std::string& name : gone) remove_at(batch, dir, path, name);

  for (const auto& [name, child_attributes] : listed.dirs) {
    auto found = dir.dirs.find(name);
    if (found == dir.dirs.end()) add_at(batch, dir, path, name, child_attributes, depth + 1);
    else rescan(batch, *found->second, join_relative(path, name), child_attributes, depth + 1);
  }
}

// ---------------------------------------------------------------------------
// Reading files.

void folder_tree::read_tracks(const vantrel_io::file_ptr& file, const std::string& full, file_reading& out) {
  if (!accept(full.c_str())) return;
  info_reader_ptr reader;
  input_dispatch::open_info_reader(reader, file, full.c_str(), abort_);
  out.time = reader->get_file_stats(abort_).timestamp;
  const std::uint32_t count = reader->get_subsong_count();
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t subsong = reader->get_subsong(i);
    track_handle_ptr handle = track_handle_registry::get_handle(track_location(full.c_str(), subsong));
    bool current;
    {
      track_info_lock hold;
      current = handle->has_info() && out.time != 0 && handle->get_info_timestamp() == out.time;
    }
    if (!current) {
      out.infos.emplace_back(handle, track_info_impl());
      reader->get_info(subsong, out.infos.back().second, abort_);
    }
    if (!contains(out.handles, handle)) out.handles.push_back(handle);
  }
}

bool folder_tree::accept(const char* path) {
  library_folder_sink* sink = owner_->sink;
  return sink == nullptr || sink->accept(path);
}

void folder_tree::load_file(const std::string& path, DWORD attributes, file_reading& out) {
  if (is_hidden(attributes)) return;
  const std::string full = full_path(path);
  try {
    abort_.check_and_throw();
    service_ptr<named_lock> held;
    named_lock::acquire(held, full.c_str(), abort_);
    vantrel_io::file_ptr opened;
    vantrel_io::open_for_brief_read(opened, full.c_str(), abort_);
    out.time = opened->get_timestamp(abort_);
    read_tracks(opened, full, out);
  } catch (const vantrel_io::exception_aborted&) {
    throw;
  } catch (const vantrel_io::exception_io_sharing_violation&) {
    out.in_use = true;
  } catch (const vantrel_io::exception_io_data&) {
    out.handles.clear();  // unreadable as it is: not read again until it changes
    out.infos.clear();
  } catch (const std::exception&) {
    out.handles.clear();
    out.infos.clear();
    out.time = 0;  // gone or unopenable: the next rescan tries again
  }
}

bool folder_tree::apply_reading(folder_change_batch& batch, folder_tree_file& file, file_reading& reading) {
  if (reading.in_use) return false;
  for (auto& [handle, info] : reading.infos) {
    batch.infos().add_info(handle, info, reading.time, true);
    ++batch.queued_infos_;
  }
  for (const track_handle_ptr& handle : reading.handles)
    if (!contains(file.handles, handle)) batch.mark_added(handle);
  for (const track_handle_ptr& handle : file.handles)
    if (!contains(reading.handles, handle)) batch.mark_removed(handle);
  critical_section_lock hold(lock_);
  if (!same_handles(file.handles, reading.handles) || (!file.handles.empty() && file.file_time != reading.time))
    changed_ = true;
  file.file_time = reading.time;
  file.handles.assign(std::move(reading.handles));
  return true;
}

// ---------------------------------------------------------------------------
// The retry set.

void folder_tree::retry_add(const std::string& path, bool now) {
  retry_[path] = folder_retry_entry{GetTickCount(), now ? 0 : first_retry_delay_ms};
}

void folder_tree::retry_remove(const std::string& path) { retry_.erase(path); }

DWORD next_retry_interval(DWORD interval) {
  std::uint64_t next = std::uint64_t(interval) + std::max<DWORD>(interval / 2, 1);
  return static_cast<DWORD>(std::clamp<std::uint64_t>(next, first_retry_delay_ms, longest_retry_delay_ms));
}

void folder_tree::run_retry_queue(folder_change_batch& batch) {
  // Files written by a tag write of ours are read after it, when their new
  // info is already on their tracks and the read finds nothing to do.
  if (tag_write_scope::any_open()) return;
  // The files whose wait is over, in path order.
  struct due_file {
    std::map<std::string, folder_retry_entry>::iterator entry;
    folder_tree_file* file;  // holds: no file comes or goes until the run ends
    DWORD attributes;
    file_reading reading;
  };
  std::vector<due_file> due;
  for (auto it = retry_.begin(); it != retry_.end();) {
    abort_.check_and_throw();
    if (GetTickCount() - it->second.last_attempt < it->second.interval) {
      ++it;
      continue;
    }
    folder_tree_file* file = find_file(it->first);
    if (file == nullptr) {
      it = retry_.erase(it);  // gone from the tree: nothing left to read
      continue;
    }
    due.push_back(due_file{it, file, file->attributes, {}});
    ++it;
  }
  if (due.empty()) return;

  DWORD start = GetTickCount();
  // The loaders touch only their own slot, their entry's path (a map key,
  // which erasing other entries neither moves nor changes) and thread-safe
  // services; the tree, the retry set and the batch change on this thread
  // alone.
  const auto load = [&](std::uint32_t i) { load_file(due[i].entry->first, due[i].attributes, due[i].reading); };
  const auto apply = [&](std::uint32_t i) {
    due_file& item = due[i];
    const bool done = apply_reading(batch, *item.file, item.reading);
    item.reading = file_reading();
    if (!done) {
      folder_retry_entry& entry = item.entry->second;
      entry.last_attempt = GetTickCount();
      entry.interval = next_retry_interval(entry.interval);
      return;
    }
    retry_.erase(item.entry);
    if (GetTickCount() - start > 5000) {
      // Long runs hand over what they have, so the library fills in steps.
      if (!batch.on_main_thread_ && batch.size() >= 100) flush(batch);
      start = GetTickCount();
    }
  };
  const std::uint32_t count = static_cast<std::uint32_t>(due.size());
  // A few files are not worth the threads; many are read on several cores.
  const std::uint32_t helpers =
      count < min_files_for_helpers ? 0 : std::min(qiv::cpu_count() - 1, max_read_helpers);
  run_ordered_parallel(count, helpers, load, apply);
}

// ---------------------------------------------------------------------------
// Handing changes over.

void folder_tree::flush(folder_change_batch& batch) {
  if (batch.infos_) {
    batch.infos_->commit();
    batch.infos_.reset();
    // After the commit: a save that ran before it missed the new infos.
    if (batch.queued_infos_ != 0) changed_ = true;
    batch.queued_infos_ = 0;
  }
  if (batch.added_.empty() && batch.removed_.empty()) return;
  merge(batch.added_, batch.removed_);
  batch.added_.clear();
  batch.removed_.clear();
}

void folder_tree::merge(handle_set& added, handle_set& removed) {
  for (auto& [key, handle] : added) {
    pending_removed_.erase(key);
    pending_added_.emplace(key, handle);
  }
  for (auto& [key, handle] : removed) {
    pending_added_.erase(key);
    pending_removed_.emplace(key, handle);
  }
  deliver();
}

void folder_tree::deliver() {
  if (pending_added_.empty() && pending_removed_.empty()) return;
  auto added = std::make_shared<track_handle_list>();
  auto removed = std::make_shared<track_handle_list>();
  for (auto& [key, handle] : pending_added_) added->push_back(handle);
  for (auto& [key, handle] : pending_removed_) removed->push_back(handle);
  pending_added_.clear();
  pending_removed_.clear();
  auto run = [owner = owner_, added, removed] {
    if (owner->sink == nullptr) return;
    if (!removed->empty()) owner->sink->tracks_removed(*removed);
    if (owner->sink != nullptr && !added->empty()) owner->sink->tracks_added(*added);
  };
  if (qiv::main_thread_id() == GetCurrentThreadId()) run();
  else main_thread_queue::post(new service_counted<main_thread_call>(run));
}
