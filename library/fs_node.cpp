#include "library/fs_node.h"

#include <windows.h>

#include <algorithm>

#include "foundation/code_page_text.h"
#include "library/dir_listing.h"
#include "library/folder_picture.h"
#include "library/nav_track_sources.h"
#include "metadata/input_dispatch.h"
#include "metadata/track_handle_registry.h"

namespace {

// The volume name of a drive root; empty when it has none or cannot be asked.
std::wstring volume_name(const std::wstring& root) {
  wchar_t name[261] = {};
  if (!GetVolumeInformationW(root.c_str(), name, 261, nullptr, nullptr, nullptr, nullptr, 0)) return {};
  return name;
}

// Whether the folder is there to be listed; a drive's top level is asked at
// its root.
bool is_existing_folder(const std::wstring& folder) {
  const DWORD attributes = GetFileAttributesW((folder + L"\\").c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::wstring fs_drive_of_caption(const std::wstring& caption) {
  if (caption.size() >= 2 && caption[0] >= L'A' && caption[0] <= L'Z' && caption[1] == L':') return caption.substr(0, 2);
  return {};
}

nav_path fs_path_opened(const nav_path& path, const std::wstring& entry) {
  nav_path opened = path;
  if (!path.empty()) {
    opened.push_back({entry});
  } else {
    const std::wstring drive = fs_drive_of_caption(entry);
    if (!drive.empty()) opened.push_back({drive});
  }
  return opened;
}

fs_node::fs_node(nav_node_listener* listener, const nav_path& path)
    : listener_(listener), receiver_(std::make_shared<change_receiver>()), path_(path) {
  receiver_->node = this;
  refresh();
}

fs_node::fs_node(nav_node_listener* listener, fs_node_unbuilt_t)
    : listener_(listener), receiver_(std::make_shared<change_receiver>()) {}

fs_node::~fs_node() {
  detach();
  stop_watching();
}

void fs_node::stop_watching() noexcept {
  // Every thread is told first, so that they end side by side.
  watcher_.stop_soon();
  for (const auto& watcher : ancestor_watchers_) watcher->stop_soon();
  watcher_.stop();
  ancestor_watchers_.clear();
  watching_ = false;
  // Wine stops following a folder once a handle that asked for its changes
  // closes, even while the library's watch of the music folder above it
  // still needs it: the library would no longer hear of that folder's
  // files or subfolders going. A folder opened again is followed again for
  // the watch above it, each one below the last.
  for (const std::wstring& folder : watched_folders_)
    win32_handle(CreateFileW(dir_open_path(folder).c_str(), FILE_LIST_DIRECTORY,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  watched_folders_.clear();
}

void fs_node::build_from(const nav_path& path) {
  path_ = path;
  refresh();
}

bool fs_node::attach() {
  receiver_->node = this;
  if (!receiver_->missed.exchange(false)) return false;
  relist();
  return true;
}

void fs_node::detach() {
  // The watch threads are waited for where the node is freed.
  watcher_.stop_soon();
  for (const auto& watcher : ancestor_watchers_) watcher->stop_soon();
  watching_ = false;
  receiver_->node = nullptr;  // callbacks still queued do nothing
}

std::unique_ptr<fs_node> fs_node_create(nav_node_listener* listener, const nav_path& path) {
  return std::make_unique<fs_node>(listener, path);
}

void fs_node::set_path(const nav_path& path) {
  path_ = path;
  refresh();
}

const track_handle_ptr* fs_node::find_track(const std::wstring& name) const {
  const auto before = [this](std::uint32_t file, const std::wstring& wanted) {
    return entries_[first_file_ + file] < wanted;
  };
  const auto at = std::lower_bound(by_name_.begin(), by_name_.end(), name, before);
  if (at == by_name_.end() || entries_[first_file_ + *at] != name) return nullptr;
  return &tracks_[*at];
}

bool fs_node::can_open(const wide_text_list& selection) const {
  return selection.size() == 1 && find_track(selection[0]) == nullptr;
}

bool fs_node::entry_is_track(const std::wstring& name, const track_handle* handle) {
  const track_handle_ptr* const found = find_track(name);
  return found != nullptr && found->get() == handle;
}

void fs_node::get_tracks(const wide_text_list& names, track_handle_list& out) {
  out.clear();
  for (const std::wstring& name : names)
    if (const track_handle_ptr* const found = find_track(name)) out.push_back(*found);
}

void fs_node::go_up() {
  if (path_.empty()) return;
  path_.pop_back();
  refresh();
}

void fs_node::open(const wide_text_list& selection) {
  if (selection.size() != 1) return;
  path_ = fs_path_opened(path_, selection[0]);
  refresh();
}

bool fs_node::get_folder_path(std::wstring& out) const {
  if (path_.empty()) return false;
  out = nav_path_join(path_);
  return true;
}

bool fs_node::get_picture(std::wstring& out) {
  if (picture_.empty()) return false;
  out = nav_wide(picture_.rfind("file://", 0) == 0 ? picture_.substr(7) : picture_);
  return true;
}

track_source_ptr fs_node::source_for(const wide_text_list& names) {
  concat_source_builder concat;
  for (const std::wstring& name : names) {
    if (const track_handle_ptr* const found = find_track(name)) {
      concat.append(single_track_source_create(*found));
    } else if (path_.empty()) {
      const std::wstring drive = fs_drive_of_caption(name);
      if (!drive.empty()) concat.append(folder_source_create(drive));
    } else {
      concat.append(folder_source_create(nav_path_join(path_) + L"\\" + name));
    }
  }
  return concat.get();
}

void fs_node::describe(nav_caption& caption) {
  if (path_.empty()) {
    link_text::append_escaped(caption.text, "My computer");
    return;
  }
  if (path_.size() == 1 && path_[0].size() == 1 && path_[0][0].size() == 2 &&
      !fs_drive_of_caption(path_[0][0]).empty()) {
    const std::wstring label = volume_name(path_[0][0] + L"\\");
    if (!label.empty()) {
      link_text::append_wide(caption.text, path_[0][0] + L" [" + label + L"]");
      return;
    }
  }
  bool first = true;
  for (std::size_t i = 0; i < path_.size(); ++i) {
    if (path_[i].empty()) continue;
    if (!first) caption.text += " \\ ";
    first = false;
    if (i + 1 == path_.size()) {
      link_text::append_wide(caption.text, path_[i][0]);
    } else {
      link_text::append_link(caption.text, path_[i][0]);
      caption.links.push_back({nav_kind_file_system, nav_path(path_.begin(), path_.begin() + i + 1)});
    }
  }
}

void fs_node::on_folder_changed(std::uint32_t generation) {
  if (generation != generation_) return;
  relist();
  if (listener_) listener_->node_changed();
}

void fs_node::relist() {
  try {
    refresh();
  } catch (const std::exception&) {
    // Changes arrive from outside the program: the folder may go away while
    // it is listed. Looked at again, it is shown from the nearest level that
    // still exists; one that is there but cannot be read shows empty.
    try {
      refresh();
    } catch (const std::exception&) {
      clear_listing();
    }
  }
}

void fs_node::on_ancestor_changed(std::uint32_t generation) {
  if (generation == generation_ && !is_existing_folder(nav_path_join(path_))) on_folder_changed(generation);
}

void fs_node::refresh() {
  picture_.clear();
  stop_watching();
  clear_listing();
  // A folder that is gone (deleted, renamed, its drive removed) leaves the
  // node at the deepest level that still exists.
  while (!path_.empty() && !is_existing_folder(nav_path_join(path_))) path_.pop_back();
  wide_text_list folders, files;
  std::vector<std::uint32_t> path_at;
  std::string paths;
  if (path_.empty()) {
    list_drives(folders);
  } else {
    const std::wstring folder = nav_path_join(path_);
    const std::uint32_t generation = ++generation_;
    // The watchers are armed before the folder is listed, so that no change
    // made during the listing goes unseen.
    const auto follow = [receiver = std::weak_ptr<change_receiver>(receiver_), generation](
                            void (fs_node::*changed)(std::uint32_t)) {
      return [receiver, generation, changed] {
        const auto alive = receiver.lock();
        if (!alive) return;
        if (fs_node* const node = alive->node) (node->*changed)(generation);
        else alive->missed = true;
      };
    };
    watching_ = watcher_.start(folder, follow(&fs_node::on_folder_changed));
    // A folder renamed or deleted while empty changes nothing inside itself:
    // only its parent sees it go, and only a folder further up sees one
    // above it renamed.
    for (std::size_t depth = 1; depth < path_.size(); ++depth) {
      auto watcher = std::make_unique<folder_watcher>();
      const nav_path above(path_.begin(), path_.begin() + static_cast<std::ptrdiff_t>(depth));
      watched_folders_.push_back(nav_path_join(above));
      if (watcher->start(watched_folders_.back(), follow(&fs_node::on_ancestor_changed)))
        ancestor_watchers_.push_back(std::move(watcher));
    }
    watched_folders_.push_back(folder);
    list_folder(folder, folders, files, path_at, paths);
  }
  // Names the natural order calls equal ("Song.mp3", "song.mp3" on a
  // case-sensitive disk) are both listed, in code-unit order.
  std::sort(folders.begin(), folders.end());
  entries_ = nav_natural_order(std::move(folders));
  take_files(std::move(files), path_at, paths);
}

void fs_node::clear_listing() noexcept {
  tracks_.clear();
  by_name_.clear();
  entries_.clear();
  first_file_ = 0;
}

void fs_node::take_files(wide_text_list files, const std::vector<std::uint32_t>& path_at, const std::string& paths) {
  std::vector<std::uint32_t> listed(files.size());
  for (std::uint32_t i = 0; i < listed.size(); ++i) listed[i] = i;
  std::sort(listed.begin(), listed.end(), [&](std::uint32_t a, std::uint32_t b) { return files[a] < files[b]; });
  // One entry per name.
  listed.erase(std::unique(listed.begin(), listed.end(),
                           [&](std::uint32_t a, std::uint32_t b) { return files[a] == files[b]; }),
               listed.end());
  wide_text_list names;
  names.reserve(listed.size());
  for (const std::uint32_t i : listed) names.push_back(std::move(files[i]));
  const std::vector<std::uint32_t> shown = nav_natural_order_of(names);

  first_file_ = entries_.size();
  entries_.reserve(first_file_ + shown.size());
  by_name_.resize(shown.size());
  std::vector<const char*> locations(shown.size());
  for (std::uint32_t k = 0; k < shown.size(); ++k) {
    const std::uint32_t sorted = shown[k];
    entries_.push_back(std::move(names[sorted]));
    by_name_[sorted] = k;
    locations[k] = paths.c_str() + path_at[listed[sorted]];
  }
  tracks_.resize(shown.size());
  track_handle_registry::get_handles(locations, 0, tracks_);
}

void fs_node::list_drives(wide_text_list& folders) {
  wchar_t buffer[1024] = {};
  const DWORD length = GetLogicalDriveStringsW(1023, buffer);
  if (length >= 1024 || buffer[0] == 0) return;
  for (const wchar_t* root = buffer; *root; root += wcslen(root) + 1) {
    std::wstring caption = root;
    const std::wstring label = volume_name(root);
    if (!label.empty()) caption += L" [" + label + L"]";
    folders.push_back(std::move(caption));
  }
}

void fs_node::list_folder(const std::wstring& folder, wide_text_list& folders, wide_text_list& files,
                          std::vector<std::uint32_t>& path_at, std::string& paths) {
  const std::string prefix = "file://" + nav_utf8(folder) + "\\";
  int best_picture = picture_file_name_count;
  const input_dispatch::path_claim_test audio;
  dir_listing(folder, [&](const dir_entry& entry) {
    if (entry.is_folder()) {
      folders.emplace_back(entry.name);
      return;
    }
    const std::size_t at = paths.size();
    paths += prefix;
    qiv::append_utf16_as_utf8(paths, entry.name.data(), entry.name.size());
    const int rank = picture_file_rank(entry.name);
    if (rank >= 0 && rank < best_picture) {
      best_picture = rank;
      picture_.assign(paths, at);
    }
    if (!audio.is_claimed(paths.c_str() + at)) {
      paths.resize(at);
      return;
    }
    paths += '\0';
    files.emplace_back(entry.name);
    path_at.push_back(static_cast<std::uint32_t>(at));
  });
}
