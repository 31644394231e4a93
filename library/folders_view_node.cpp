#include "library/folders_view_node.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>

#include "core/localized_text.h"
#include "foundation/crash.h"
#include "library/media_library.h"

namespace {

bool is_known_folder(int csidl, const std::wstring& folder) {
  wchar_t path[MAX_PATH] = {};
  return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) &&
         lstrcmpiW(path, folder.c_str()) == 0;
}

}  // namespace

std::wstring folder_caption(const std::wstring& folder) {
  if (is_known_folder(CSIDL_MYMUSIC, folder)) return nav_wide(localized_text_get("ui_view_my_music"));
  if (is_known_folder(CSIDL_COMMON_MUSIC, folder)) return nav_wide(localized_text_get("ui_view_shared_music"));
  const std::size_t cut = folder.find_last_of(L"\\/|:");
  const std::wstring last = cut == std::wstring::npos ? folder : folder.substr(cut + 1);
  return last.empty() ? folder : last;
}

folders_view_node::folders_view_node(const nav_path& path)
    : folders_view_node(path, [] { return media_library::folder_list(); }) {}

folders_view_node::folders_view_node(const nav_path& path, std::function<std::vector<std::string>()> folders)
    : folders_(std::move(folders)) {
  set_path(path);
}

// The controller never asks a one-level view for these.
wide_text_list folders_view_node::current_key() const { qiv::crash(); }
void folders_view_node::go_up() { qiv::crash(); }

void folders_view_node::set_path(const nav_path& path) {
  path_ = path;
  entries_.clear();
  folder_of_caption_.clear();
  if (!path_.empty() && !path_[0].empty() && path_[0][0] == folders_view_root_key) build_root();
}

void folders_view_node::build_root() {
  for (const std::string& folder_text : folders_()) {
    const std::wstring folder = nav_wide(media_library::folder_text_native(folder_text));
    const std::wstring base = folder_caption(folder);
    std::wstring caption = base;
    for (unsigned counter = 1; folder_of_caption_.count(caption) != 0; ++counter)
      caption = base + L" (" + std::to_wstring(counter) + L")";
    entries_.push_back(caption);
    folder_of_caption_[caption] = folder;
  }
  title_ = nav_wide(localized_text_get("ui_view_folders"));
}

void folders_view_node::describe(nav_caption& caption) { link_text::append_wide(caption.text, title_); }

bool folders_view_node::link_target(nav_location& out, const std::wstring& name) const {
  const auto found = folder_of_caption_.find(name);
  if (found != folder_of_caption_.end()) out = {nav_kind_file_system, nav_split_path(found->second)};
  else out = {nav_kind_library_view, {}};
  return true;
}

track_source_ptr folders_view_node::source_for(const wide_text_list&) { return playback_item_list_create({}); }
