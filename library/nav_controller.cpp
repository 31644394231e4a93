#include "library/nav_controller.h"

#include <algorithm>

#include "core/app_state.h"
#include "core/localized_text.h"
#include "io/io_exceptions.h"
#include "library/folders_view_node.h"
#include "library/fs_node.h"
#include "library/library_view_node.h"
#include "library/media_library.h"
#include "library/nav_first_view.h"
#include "playback/playback_front.h"

nav_last_location_item nav_last_location;

namespace {

constexpr GUID last_location_guid = {0x6490F07D, 0xF12E, 0x4963, {0x89, 0x46, 0xFD, 0xE5, 0xDC, 0xC0, 0x8F, 0x3A}};

// Lists beyond this many items show no picture: it is meant for one album.
constexpr std::size_t picture_item_limit = 100;

// Shorter lists are freed at once, faster than the hand-over.
constexpr std::size_t texts_freed_aside = 5000;

std::unique_ptr<nav_node> create_node(nav_node_listener* listener, const nav_location& location,
                                      library_view_tracks& library) {
  switch (location.kind) {
  case nav_kind_file_system:
    return fs_node_create(listener, location.path);
  case nav_kind_music_folders:
    return std::make_unique<folders_view_node>(location.path);
  default:
    return std::make_unique<library_view_node>(listener, location.path, library);
  }
}

bool starts_with(const nav_path& path, const nav_path& prefix) {
  return !prefix.empty() && path.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), path.begin());
}

// The entries a level lists under which the level below it was entered.
wide_text_list key_entered_by(const nav_location& below) {
  const nav_path& path = below.path;
  if (path.empty()) return {};
  if (below.kind != nav_kind_library_view) return path.back();
  const auto level = static_cast<std::uint32_t>(path.size() - 1);
  return library_view_node::holds_all_key(path.back(), level) ? wide_text_list{} : path.back();
}

// Left entered through several names, all come back selected and the first
// of them in code-unit order takes the focus.
wide_text_list focus_after_going_up(const wide_text_list& came_from) {
  if (came_from.empty()) return {};
  return {*std::min_element(came_from.begin(), came_from.end())};
}

}  // namespace

std::vector<nav_root_entry> nav_roots_build(const std::vector<std::string>& music_folders) {
  const auto text = [](const char* id) { return nav_wide(localized_text_get(id)); };
  std::vector<nav_root_entry> roots = {
      {text("ui_nav_genres"), {nav_kind_library_view, {}}},
      {text("ui_nav_artists"), {nav_kind_library_view, {{}}}},
      {text("ui_nav_albums"), {nav_kind_library_view, {{}, {}}}},
  };
  if (music_folders.size() == 1) {
    const std::wstring folder = nav_wide(media_library::folder_text_native(music_folders[0]));
    roots.push_back({text("ui_nav_folder"), {nav_kind_file_system, nav_split_path(folder)}});
  } else {
    roots.push_back({text("ui_nav_folders"), {nav_kind_music_folders, {{folders_view_root_key}}}});
  }
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
  // "." is the program's folder too: a folder is never stored relative to
  // the working folder, which differs from run to run.
  if (loaded.kind == nav_kind_file_system && !loaded.path.empty() && loaded.path[0].size() == 1 &&
      (loaded.path[0][0] == application_folder_key || loaded.path[0][0] == L".")) {
    loaded.path.erase(loaded.path.begin());
    const nav_path folder = program_folder.empty() ? nav_program_folder() : program_folder;
    loaded.path.insert(loaded.path.begin(), folder.begin(), folder.end());
  }
  value = std::move(loaded);
}

nav_controller::nav_controller(nav_node_listener* listener, library_view_tracks& library)
    : listener_(listener),
      library_(library),
      builder_([this](built_nav_node built) { land(std::move(built)); }, [this] { build_failed(); }) {}

nav_controller::~nav_controller() {
  builder_.shut_down();
  stop_counting_changes();
}

void nav_controller::set_host(nav_view_host* host) {
  // A build under way was meant for the window that leaves.
  cancel_build();
  builder_.shut_down();
  host_ = host;
  listener_ = host;
  node_.reset();
  history_.clear();
  history_position_ = 0;
  view_ = {};
}

bool nav_controller::move_in_background(const nav_location& target, pending_move&& move) {
  if (target.kind == nav_kind_library_view) {
    // Only a library first used here is the one read ahead: one used before
    // may have told of changes that the tracks alone do not show.
    const bool first_use = &library_ == &media_library_view_tracks() && !media_library::is_loaded();
    track_handle_list tracks;
    library_.get_all(tracks);
    // The copy is freed here then: a worker started only to free it would
    // keep its stack for nothing until the user moves.
    if (first_use && land_built_ahead(target, tracks, move)) return true;
    if (tracks.size() < background_build_tracks) return false;
    track_handle_ptr playing;
    if (!playback_front_get().get_now_playing(playing)) playing.reset();
    builder_.start(std::make_unique<library_view_node>(listener_, library_view_node::unbuilt, library_),
                   [path = target.path, tracks = std::move(tracks)](nav_node& node) mutable {
                     // The worker must not read the library itself.
                     handed_over_tracks handed(std::move(tracks));
                     static_cast<library_view_node&>(node).build_from(path, handed);
                   },
                   std::move(playing));
    // Nothing changes the library between the copy above and here: both run
    // on this thread.
    if (!counting_changes_) {
      library_.register_callback(&changes_);
      counting_changes_ = true;
    }
    changes_at_start_ = changes_.changes;
  } else if (target.kind == nav_kind_file_system && build_folders_in_background && node_) {
    // The first folder shown is listed at once: when it cannot be, the
    // caller learns it now and shows something else instead.
    track_handle_ptr playing;
    if (!playback_front_get().get_now_playing(playing)) playing.reset();
    builder_.start(std::make_unique<fs_node>(listener_, fs_node::unbuilt),
                   [path = target.path](nav_node& node) { static_cast<fs_node&>(node).build_from(path); },
                   std::move(playing));
    // A library view built before is no longer wanted.
    stop_counting_changes();
  } else {
    return false;
  }
  move.target = target;
  pending_ = std::move(move);
  return true;
}

bool nav_controller::land_built_ahead(const nav_location& target, const track_handle_list& tracks,
                                      pending_move& move) {
  std::optional<built_nav_node> ahead = nav_first_view::take(target, tracks, listener_);
  if (!ahead) return false;
  move.target = target;
  pending_ = std::move(move);
  land(std::move(*ahead));
  return true;
}

void nav_controller::land(built_nav_node built) {
  if (!pending_) return;
  pending_move move = std::move(*pending_);
  pending_.reset();
  const bool library_changed = counting_changes_ && changes_.changes != changes_at_start_;
  stop_counting_changes();
  // The notice belongs to the library's views: one that replaces another
  // kind tells anew whether the library is scanning.
  const std::uint32_t kind = built.node->kind();
  const bool other_kind = !node_ || node_->kind() != kind;
  if (node_ && other_kind && listener_) listener_->scanning_changed(false);
  retire(std::move(node_));
  const bool rebuilt = kind == nav_kind_library_view
                           ? static_cast<library_view_node&>(*built.node).attach(library_changed, other_kind)
                           : static_cast<fs_node&>(*built.node).attach();
  node_ = std::move(built.node);
  if (move.add_history) add_history();
  // The playing entry was found for the track that played when the build
  // began; another track or a rebuild needs it found again.
  const ready_entries ready{&built.entries, built.playing.get(), built.playing_entry};
  show(move.shown.selection, move.shown.focus, move.shown.scroll, rebuilt ? nullptr : &ready);
  if (move.then) move.then();
}

void nav_controller::build_failed() noexcept {
  // The list goes on showing what it showed; the failure is reported.
  pending_.reset();
  stop_counting_changes();
}

void nav_controller::cancel_build() noexcept {
  if (!pending_) return;
  pending_.reset();
  builder_.cancel();
  stop_counting_changes();
}

void nav_controller::note_pending_in_history() {
  if (!pending_ || !pending_->add_history) return;
  pending_->add_history = false;
  history_.resize(std::min(history_.size(), history_position_ + 1));
  history_.push_back({pending_->target, {}});
  history_position_ = history_.size() - 1;
}

void nav_controller::stop_counting_changes() noexcept {
  if (!counting_changes_) return;
  counting_changes_ = false;
  library_.unregister_callback(&changes_);
}

void nav_controller::retire(std::unique_ptr<nav_node> node) {
  if (!node || host_ == nullptr) return;
  if (node->kind() == nav_kind_library_view) static_cast<library_view_node&>(*node).detach();
  else if (node->kind() == nav_kind_file_system) static_cast<fs_node&>(*node).detach();
  else return;
  builder_.dispose(std::move(node));
}

void nav_controller::switch_to(const nav_location& location) {
  cancel_build();
  if (node_ && node_->kind() == location.kind) {
    node_->set_path(location.path);
    return;
  }
  retire(std::move(node_));
  // The notice belongs to the library's views: another kind of node never
  // hears that the scan ended. A library node made next tells anew.
  if (listener_) listener_->scanning_changed(false);
  node_ = create_node(listener_, location, library_);
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
  // While a view is built the list still shows the entry left before.
  if (pending_) {
    note_pending_in_history();
    return;
  }
  if (host_ == nullptr || history_position_ >= history_.size()) return;
  history_[history_position_].state = host_->list_state();
}

void nav_controller::navigate(const nav_location& location, std::function<void()> then) {
  save_list_state();
  navigate_showing(location, {{}, true, {}, std::move(then)});
}

void nav_controller::navigate_showing(const nav_location& location, pending_move move) {
  if (move_in_background(location, std::move(move))) return;
  switch_to(location);
  add_history();
  show(move.shown.selection, move.shown.focus, move.shown.scroll);
  if (move.then) move.then();
}

void nav_controller::show(const wide_text_list& selection, const wide_text_list& focus,
                          const std::optional<nav_scroll_position>& scroll, const ready_entries* ready) {
  nav_view_state state;
  state.can_back = history_position_ > 0;
  state.can_forward = history_position_ + 1 < history_.size();
  if (ready != nullptr) state.items = std::move(*ready->entries);
  else state.items = node_->copy_entries();
  state.selection = selection;
  state.focus = focus;
  state.scroll = scroll;
  if (node_->lists_tracks()) {
    track_handle_ptr playing;
    const bool is_playing = playback_front_get().get_now_playing(playing);
    if (ready != nullptr && (is_playing ? playing.get() : nullptr) == ready->playing) {
      state.highlight = ready->playing_entry;
    } else if (is_playing) {
      state.highlight = node_->entry_of_track(state.items, playing.get());
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
  // The texts of a long list left are freed beside the window's thread: one
  // by one they hold it for milliseconds, and longer while the worker frees
  // the node left at the same time.
  wide_text_list left = std::move(view_.items);
  view_ = std::move(state);
  if (left.size() >= texts_freed_aside && host_ != nullptr) builder_.dispose(std::move(left));
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
  if (pending_) {
    // Typed ahead: up from the view being built.
    const nav_location from = pending_->target;
    if (from.path.empty()) {
      MessageBeep(0);
      return;
    }
    const wide_text_list came_from = key_entered_by(from);
    const nav_path above(from.path.begin(), from.path.end() - 1);
    save_list_state();
    navigate_showing({from.kind, above},
                     {{}, true, {came_from, focus_after_going_up(came_from), std::nullopt}, {}});
    return;
  }
  if (!node_ || !node_->can_go_up()) {
    MessageBeep(0);
    return;
  }
  const wide_text_list came_from = node_->current_key();
  save_list_state();
  const wide_text_list focus = focus_after_going_up(came_from);
  nav_path above = node_->get_path();
  above.pop_back();
  if (move_in_background({node_->kind(), above}, {{}, true, {came_from, focus, std::nullopt}, {}})) return;
  cancel_build();
  node_->go_up();
  add_history();
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
  nav_path inside = node_->get_path();
  if (node_->kind() == nav_kind_file_system) inside = fs_path_opened(inside, selection[0]);
  else inside.push_back(selection);
  if (move_in_background({node_->kind(), inside}, {{}, true, {}, {}})) return;
  cancel_build();
  node_->open(selection);
  add_history();
  show({}, {});
}

bool nav_controller::history_step(std::uint32_t command) {
  if (command != 1 && command != 2) return false;
  note_pending_in_history();
  const bool back = command == 1;
  if (back ? history_position_ == 0 : history_position_ + 1 >= history_.size()) {
    MessageBeep(0);
    return true;
  }
  save_list_state();
  history_position_ += back ? -1 : 1;
  const history_entry& entry = history_[history_position_];
  const nav_scroll_position scroll = entry.state.scroll.value_or(nav_scroll_position{});
  if (move_in_background(entry.location, {{}, false, {entry.state.selection, entry.state.focus, scroll}, {}})) return true;
  switch_to(entry.location);
  show(entry.state.selection, entry.state.focus, scroll);
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
