#include "library/nav_controller.h"

#include <algorithm>

#include "core/app_state.h"
#include "core/localized_text.h"
#include "io/io_exceptions.h"
#include "library/folders_view_node.h"
#include "library/fs_node.h"
#include "library/library_view_node.h"
#include "library/media_library.h"
#include "playback/playback_front.h"

nav_last_location_item nav_last_location;

namespace {

constexpr GUID last_location_guid = {0x6490F07D, 0xF12E, 0x4963, {0x89, 0x46, 0xFD, 0xE5, 0xDC, 0xC0, 0x8F, 0x3A}};

// Lists beyond this many items show no picture: it is meant for one album.
constexpr std::size_t picture_item_limit = 100;

std::unique_ptr<nav_node> create_node(nav_node_listener* listener, const nav_location& location) {
  switch (location.kind) {
  case nav_kind_file_system:
    return fs_node_create(listener, location.path);
  case nav_kind_music_folders:
    return std::make_unique<folders_view_node>(location.path);
  default:
    return library_view_node_create(listener, location.path);
  }
}

bool starts_with(const nav_path& path, const nav_path& prefix) {
  return !prefix.empty() && path.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), path.begin());
}

}  // namespace

std::vector<nav_root_entry> nav_roots_build(const std::vector<std::string>& music_folders) {
  const auto text = [](const char* id) { return nav_wide(localized_text_get(id)); };
  std::vector<nav_root_entry> roots = {
      {text("ui_nav_genres"), {nav_kind_library_view, {}}},
      {text("ui_nav_artists"), {nav_kind_library_view, {{}}}},
      {text("ui_nav_albums"), {nav_kind_library_view, {{}, {}}}},
  };
  if (music_folders.size() == 1)
    roots.push_back({text("ui_nav_folder"), {nav_kind_file_system, nav_split_path(nav_wide(music_folders[0]))}});
  else
    roots.push_back({text("ui_nav_folders"), {nav_kind_music_folders, {{folders_view_root_key}}}});
  roots.push_back({text("ui_nav_computer"), {nav_kind_file_system, {}}});
  return roots;
}

nav_path nav_program_folder() {
  std::vector<wchar_t> buffer(256);
  for (;;) {
    SetLastError(0);
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length < buffer.size()) {
      std::wstring path(buffer.data(), length);
      const std::size_t cut = path.rfind(L'\\');
      return nav_split_path(cut == std::wstring::npos ? L"" : path.substr(0, cut));
    }
    buffer.resize(buffer.size() * 2);
  }
}

nav_last_location_item::nav_last_location_item(config_item** list)
    : config_item(last_location_guid, list), value{nav_kind_library_view, {{}, {}}} {}

void nav_last_location_item::write(byte_stream_writer& target, const abort_signal& abort) {
  nav_location stored = value;
  const nav_path folder = program_folder.empty() ? nav_program_folder() : program_folder;
  const bool is_portable = portable < 0 ? app::state().portable_library : portable != 0;
  if (stored.kind == nav_kind_file_system && is_portable && starts_with(stored.path, folder)) {
    stored.path.erase(stored.path.begin(), stored.path.begin() + folder.size());
    stored.path.insert(stored.path.begin(), {application_folder_key});
  }
  target.write_u32(stored.kind, abort);
  target.write_u32(static_cast<std::uint32_t>(stored.path.size()), abort);
  for (const wide_text_list& component : stored.path) {
    target.write_u32(static_cast<std::uint32_t>(component.size()), abort);
    for (const std::wstring& text : component) target.write_length_prefixed_string(nav_utf8(text).c_str(), abort);
  }
}

void nav_last_location_item::read(byte_stream_reader& source, std::uint32_t, const abort_signal& abort) {
  nav_location loaded;
  loaded.kind = source.read_u32(abort);
  if (loaded.kind > nav_kind_music_folders) throw vantrel_io::exception_io_data();
  const std::uint32_t components = source.read_u32(abort);
  source.require_remaining(std::uint64_t{components} * 4);
  for (std::uint32_t i = 0; i < components; ++i) {
    const std::uint32_t texts = source.read_u32(abort);
    source.require_remaining(std::uint64_t{texts} * 4);
    wide_text_list component;
    for (std::uint32_t k = 0; k < texts; ++k) {
      qiv::string_small text;
      source.read_length_prefixed_string(text, abort);
      component.push_back(nav_wide(text.get_ptr()));
    }
    loaded.path.push_back(std::move(component));
  }
  if (loaded.kind == nav_kind_file_system && !loaded.path.empty() && loaded.path[0].size() == 1 &&
      loaded.path[0][0] == application_folder_key) {
    loaded.path.erase(loaded.path.begin());
    const nav_path folder = program_folder.empty() ? nav_program_folder() : program_folder;
    loaded.path.insert(loaded.path.begin(), folder.begin(), folder.end());
  }
  value = std::move(loaded);
}

void nav_controller::set_host(nav_view_host* host) {
  host_ = host;
  listener_ = host;
  node_.reset();
  history_.clear();
  history_position_ = 0;
  view_ = {};
}

void nav_controller::switch_to(const nav_location& location) {
  if (node_ && node_->kind() == location.kind) {
    node_->set_path(location.path);
    return;
  }
  node_.reset();
  // The notice belongs to the library's views: another kind of node never
  // hears that the scan ended. A library node made next tells anew.
  if (listener_) listener_->scanning_changed(false);
  node_ = create_node(listener_, location);
}

void nav_controller::add_history() {
  const nav_location here{node_->kind(), node_->get_path()};
  if (!history_.empty()) {
    history_.resize(history_position_ + 1);
    if (history_.back().location == here) return;
  }
  history_.push_back({here, {}});
  history_position_ = history_.size() - 1;
}

void nav_controller::save_list_state() {
  if (host_ == nullptr || history_position_ >= history_.size()) return;
  history_[history_position_].state = host_->list_state();
}

void nav_controller::navigate(const nav_location& location) {
  save_list_state();
  switch_to(location);
  add_history();
  show({}, {});
}

void nav_controller::show(const wide_text_list& selection, const wide_text_list& focus,
                          const std::optional<nav_scroll_position>& scroll) {
  nav_view_state state;
  state.can_back = history_position_ > 0;
  state.can_forward = history_position_ + 1 < history_.size();
  state.items = node_->entries();
  state.selection = selection;
  state.focus = focus;
  state.scroll = scroll;
  if (node_->lists_tracks()) {
    track_handle_ptr playing;
    if (playback_front_get().get_now_playing(playing)) {
      for (std::size_t i = 0; i < state.items.size(); ++i) {
        if (!node_->is_container(state.items[i]) && node_->entry_is_track(state.items[i], playing.get())) {
          state.highlight = static_cast<std::int32_t>(i);
          break;
        }
      }
    }
    if (show_pictures && state.items.size() <= picture_item_limit) node_->get_picture(state.picture);
  }
  node_->describe(state.path_line);

  const nav_location here{node_->kind(), node_->get_path()};
  link_text::append_escaped(state.nav_line.text, std::string(localized_text_get("ui_nav_prefix")) + " ");
  bool first = true;
  for (const nav_root_entry& root : nav_roots_build(media_library::folder_list())) {
    if (!first) link_text::append_escaped(state.nav_line.text, ", ");
    first = false;
    if (root.location == here) {
      link_text::append_wide(state.nav_line.text, root.caption);
    } else {
      link_text::append_link(state.nav_line.text, root.caption);
      state.nav_line.links.push_back(root.location);
    }
  }
  view_ = std::move(state);
  nav_last_location.value = here;
  if (host_ != nullptr) host_->view_changed();
}

void nav_controller::refresh(bool keep_focus) {
  if (!node_) return;
  if (!keep_focus) {
    show({}, {});
    return;
  }
  // The list as the user left it, not as it was last shown.
  if (host_ == nullptr) {
    show(view_.selection, view_.focus);
    return;
  }
  const nav_list_state now = host_->list_state();
  show(now.selection, now.focus);
}

void nav_controller::go_up() {
  if (!node_ || !node_->can_go_up()) {
    MessageBeep(0);
    return;
  }
  const wide_text_list came_from = node_->current_key();
  save_list_state();
  node_->go_up();
  add_history();
  // Left entered through several names, all come back selected and the
  // first of them in code-unit order takes the focus.
  wide_text_list focus;
  if (!came_from.empty()) focus.push_back(*std::min_element(came_from.begin(), came_from.end()));
  show(came_from, focus);
}

void nav_controller::open(const wide_text_list& selection) {
  if (!node_ || selection.empty() || !node_->can_open(selection)) return;
  nav_location target;
  if (selection.size() == 1 && node_->link_target(target, selection[0])) {
    navigate(target);
    return;
  }
  save_list_state();
  node_->open(selection);
  add_history();
  show({}, {});
}

bool nav_controller::history_step(std::uint32_t command) {
  if (command != 1 && command != 2) return false;
  const bool back = command == 1;
  if (back ? history_position_ == 0 : history_position_ + 1 >= history_.size()) {
    MessageBeep(0);
    return true;
  }
  save_list_state();
  history_position_ += back ? -1 : 1;
  const history_entry& entry = history_[history_position_];
  switch_to(entry.location);
  show(entry.state.selection, entry.state.focus, entry.state.scroll.value_or(nav_scroll_position{}));
  return true;
}

void nav_controller::go_to_path(const std::wstring& folder, const wide_text_list& names) {
  save_list_state();
  switch_to({nav_kind_file_system, nav_split_path(folder)});
  add_history();
  show(names, {});
}

bool nav_controller::go_to_common_folder(const track_handle_list& tracks, std::wstring& folder, wide_text_list& names) {
  if (tracks.empty()) return false;
  std::string shared;
  wide_text_list found;
  for (const track_handle_ptr& track : tracks) {
    const std::string path = track->get_location().get_path();
    const std::size_t cut = path.find_last_of("\\/|:");
    const std::string here = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
    if (&track == &tracks.front()) shared = here;
    else if (here != shared) return false;
    found.push_back(nav_wide(path.substr(here.size())));
  }
  if (!shared.empty() && shared.back() == '\\') shared.pop_back();
  if (!shared.empty() && shared.back() == ':') shared += '\\';
  if (shared.rfind("file://", 0) != 0) return false;
  folder = nav_wide(shared.substr(7));
  names = std::move(found);
  return true;
}

void nav_controller::open_path(const wide_text_list& paths, bool play) {
  std::wstring folder;
  bool have_folder = false;
  wide_text_list names;
  for (const std::wstring& path : paths) {
    const std::size_t cut = path.rfind(L'\\');
    if (!have_folder && cut != std::wstring::npos && cut > 0) {
      folder = path.substr(0, cut);
      have_folder = true;
    }
    names.push_back(cut == std::wstring::npos ? path : path.substr(cut + 1));
  }
  if (names.size() == 1) {
    const std::wstring inside = folder + L"\\" + names[0];
    const DWORD attributes = GetFileAttributesW(inside.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      go_to_path(inside, {});
      return;
    }
  }
  go_to_path(folder, names);
  if (!play || host_ == nullptr || !node_->can_play()) return;
  wide_text_list selected;
  for (const std::wstring& item : view_.items)
    if (std::find(names.begin(), names.end(), item) != names.end()) selected.push_back(item);
  if (!selected.empty() || node_->has_tracks()) host_->play_from(selected);
}

nav_controller& nav_controller_get() {
  static nav_controller controller;
  return controller;
}
