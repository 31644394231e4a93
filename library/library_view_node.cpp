#include "library/library_view_node.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <optional>
#include <set>
#include <string_view>

#include "core/localized_text.h"
#include "foundation/code_page_text.h"
#include "foundation/string_buffer.h"
#include "foundation/text_numbering.h"
#include "library/subsong_file_order.h"
#include "library/view_texts.h"

namespace {

// The "all" entry of each level; the song level has none.
const wchar_t* const all_keys[library_view_node::level_count] = {all_genres_key, L"[albums by all artists]",
                                                                 L"[songs from all albums]", nullptr};


// Tracks evaluated in one hold of the info lock.
constexpr std::uint32_t tracks_per_lock = 256;

// Field values never bring a tab or a line feed into a view's texts: the
// album patterns use the tab to part sort key from caption.
class title_output_filter final : public title_text_filter {
public:
  void write(const GUID&, qiv::string_object& out, const char* text, std::size_t length) override {
    length = length == static_cast<std::size_t>(-1) ? std::strlen(text) : strnlen(text, length);
    // Piece by piece into the output: a copy of every value would cost a
    // heap block for each longer than a few letters.
    std::size_t start = 0;
    for (std::size_t i = 0; i < length; ++i) {
      if (text[i] < 1 || text[i] > 31) continue;
      out.add_string(text + start, i - start);
      out.add_string("_", 1);
      start = i + 1;
    }
    out.add_string(text + start, length - start);
  }
};

// Non-empty pieces of `text` between occurrences of `separator`.
template <class Take>
void split_pieces(std::string_view text, std::string_view separator, Take&& take) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) take(text.substr(start, end - start));
    start = end + separator.size();
  }
}

// Files tracks into the groups of a level by their key text. The tracks of
// a library mostly come album by album and share their keys, so each
// distinct key is kept once; every further track costs one hash lookup
// without allocating.
class group_filer {
public:
  explicit group_filer(library_view_grouper& grouper) : grouper_(grouper) {}

  void add(std::string_view key, std::uint32_t track_index) {
    const auto [number, fresh] = keys_.add(key);
    if (fresh) key_of_.push_back(grouper_.add_key(key));
    grouper_.file(key_of_[number], track_index);
  }

private:
  library_view_grouper& grouper_;
  qiv::text_numbering keys_;
  std::vector<std::uint32_t> key_of_;  // the grouper's key of each text
};

class media_library_tracks final : public library_view_tracks {
public:
  void get_all(track_handle_list& out) override { media_library::get_all(out); }
  void register_callback(library_change_callback* callback) override { media_library::register_callback(callback); }
  void unregister_callback(library_change_callback* callback) override {
    media_library::unregister_callback(callback);
  }
  bool is_scanning() override { return media_library::is_scanning(); }
};

std::string with_artist(const char* suffix, const char* artist_field) {
  std::string text = suffix;
  const std::size_t at = text.find("{artist}");
  if (at != std::string::npos) text.replace(at, 8, artist_field);
  return text;
}

}  // namespace

bool library_view_node::holds_all_key(const wide_text_list& keys, std::uint32_t level) {
  return level < level_count && all_keys[level] != nullptr &&
         std::find(keys.begin(), keys.end(), all_keys[level]) != keys.end();
}

library_view_tracks& media_library_view_tracks() {
  static media_library_tracks tracks;
  return tracks;
}

library_view_node::library_view_node(nav_node_listener* listener, const nav_path& path,
                                     library_view_tracks& library)
    : library_(&library), listener_(listener) {
  compile_scripts();
  library_->register_callback(this);
  following_ = true;
  set_path(path);
  if (listener_) listener_->scanning_changed(library_->is_scanning());
}

library_view_node::library_view_node(nav_node_listener* listener, unbuilt_t, library_view_tracks& library)
    : library_(&library), listener_(listener) {
  compile_scripts();
}

void library_view_node::compile_scripts() {
  const char* suffix = view_text("ui_view_artist_suffix");
  song_caption_script_ =
      title_script::compile(("[[%discnumber%.]%tracknumber%. ]%title%[" + with_artist(suffix, "%track artist%") + "]").c_str());
  title_script_ = title_script::compile("%title%");
  album_order_script_ = title_script::compile("%album artist% - %album% - [[%discnumber%.]%tracknumber%. ]%title%");
  other_album_pattern_ =
      title_script::compile(("ASDF\t%album%[ '['%date%']']" + with_artist(suffix, "%album artist%")).c_str());
  own_album_pattern_ = title_script::compile("%date%\t%album%[ '['%date%']']");
  all_album_pattern_ = title_script::compile("%album artist% - %date%\t%album artist% - %album%[ '['%date%']']");
  album_identity_script_ = title_script::compile("%album%\x01%album artist%\x01[%date%]");
  track_order_script_ = album_order_script_.get();
}

library_view_node::~library_view_node() { detach(); }

void library_view_node::build_from(const nav_path& path, library_view_tracks& tracks) {
  // Reads go to the copy for the build only; the node keeps the library.
  struct reading_from {
    library_view_tracks*& reading;
    library_view_tracks* const home = reading;
    ~reading_from() { reading = home; }
  } restore{library_};
  library_ = &tracks;
  set_path(path);
}

bool library_view_node::attach(bool library_changed, bool report_scanning) {
  if (!following_) {
    library_->register_callback(this);
    following_ = true;
  }
  const bool changed = library_changed && rebuild();
  if (report_scanning && listener_) listener_->scanning_changed(library_->is_scanning());
  return changed;
}

void library_view_node::detach() {
  if (!following_) return;
  following_ = false;
  library_->unregister_callback(this);
}

std::unique_ptr<library_view_node> library_view_node_create(nav_node_listener* listener, const nav_path& path) {
  return std::make_unique<library_view_node>(listener, path);
}

void library_view_node::on_scanning_changed(bool scanning) {
  if (listener_) listener_->scanning_changed(scanning);
}

wide_text_list library_view_node::current_key() const { return level_ > 0 ? selections_[level_ - 1] : wide_text_list{}; }

void library_view_node::set_path(const nav_path& path) {
  for (wide_text_list& selection : selections_) selection.clear();
  for (std::uint32_t i = 1; i < level_count; ++i) groups_[i].clear();
  level_ = 0;
  for (std::size_t i = 0; i < path.size() && level_ + 1 < level_count; ++i) {
    selections_[level_] = holds_all_key(path[i], level_) ? wide_text_list{} : path[i];
    ++level_;
  }
  build_levels();
}

nav_path library_view_node::get_path() const { return nav_path(selections_.begin(), selections_.begin() + level_); }

// The controller asks this of every entry in turn to find the playing track,
// so the entries holding a track are looked for once per track and build.
bool library_view_node::entry_is_track(const std::wstring& name, const track_handle* handle) {
  if (!holders_known_ || holders_of_ != handle) {
    holders_.clear();
    const library_view_groups& groups = groups_[level_];
    for (std::size_t group = 0; group < groups.size(); ++group) {
      const auto tracks = groups.tracks(group);
      if (std::any_of(tracks.begin(), tracks.end(), [&](const track_handle_ptr& track) { return track.get() == handle; }))
        holders_.emplace(groups.key(group));
    }
    holders_of_ = handle;
    holders_known_ = true;
  }
  return holders_.count(name) != 0;
}

bool library_view_node::is_container(const std::wstring& name) const {
  return all_keys[level_] != nullptr && name == all_keys[level_];
}

bool library_view_node::is_track(const std::wstring& name) {
  const std::size_t group = groups_[level_].find(name);
  return group != library_view_groups::npos && !groups_[level_].tracks(group).empty();
}

void library_view_node::go_up() {
  if (level_ == 0) return;
  groups_[level_].clear();
  --level_;
  selections_[level_].clear();
  build_level(level_);
}

void library_view_node::open(const wide_text_list& selection) {
  if (level_ + 1 >= level_count) return;
  selections_[level_] = holds_all_key(selection, level_) ? wide_text_list{} : selection;
  ++level_;
  build_level(level_);
}

void library_view_node::refresh() {
  if (rebuild() && listener_) listener_->node_changed();
}

bool library_view_node::rebuild() {
  const wide_text_list before = copy_entries();
  std::array<bool, level_count> was_there{};
  for (std::uint32_t level = 0; level < level_; ++level) was_there[level] = holds_selected_group(level);
  build_levels();
  // A selection whose tracks all left the library (their folder deleted, say)
  // leaves nothing to show below it: the view goes back to the level where
  // it was chosen. One never there (a library still loading) stays.
  for (std::uint32_t level = 0; level < level_; ++level) {
    if (!was_there[level] || holds_selected_group(level)) continue;
    for (std::uint32_t below = level; below < level_count; ++below) selections_[below].clear();
    for (std::uint32_t below = level + 1; below < level_count; ++below) groups_[below].clear();
    level_ = level;
    build_level(level_);
    break;
  }
  return !entries_equal(before);
}

bool library_view_node::holds_selected_group(std::uint32_t level) const {
  const library_view_groups& groups = groups_[level];
  return std::any_of(selections_[level].begin(), selections_[level].end(),
                     [&](const std::wstring& key) { return groups.find(key) != library_view_groups::npos; });
}

// Levels below the current one matter only where something is selected:
// an empty selection passes every track through, so its groups go unread.
void library_view_node::build_levels() {
  for (std::uint32_t level = 0; level <= level_; ++level)
    if (level == level_ || !selections_[level].empty()) build_level(level);
}

void library_view_node::collect_tracks(std::uint32_t level, track_handle_list& out) {
  out.clear();
  for (std::uint32_t k = level; k-- > 0;) {
    if (selections_[k].empty()) continue;
    for (const std::wstring& key : selections_[k]) {
      const std::size_t group = groups_[k].find(key);
      if (group == library_view_groups::npos) continue;
      const auto tracks = groups_[k].tracks(group);
      out.insert(out.end(), tracks.begin(), tracks.end());
    }
    return;
  }
  library_->get_all(out);
}

std::string library_view_node::evaluate(const track_handle_ptr& track, const title_script& script) const {
  static title_output_filter filter;
  qiv::string_buffer text;
  track->evaluate_script_locked(nullptr, text, script, &filter);
  return std::string(text.get_ptr(), text.get_length());
}

void library_view_node::build_level(std::uint32_t level) {
  holders_known_ = false;
  track_order_script_ = album_order_script_.get();
  groups_[level].clear();
  track_handle_list tracks;
  collect_tracks(level, tracks);
  library_view_grouper grouper;
  switch (level) {
  case 0:
  case 1: {
    group_filer filer(grouper);
    std::string fields[2];  // reused from track to track
    for (std::uint32_t index = 0; index < tracks.size(); ++index) {
      {
        track_info_lock lock;
        const track_display_info* info = nullptr;
        if (!tracks[index]->get_info_ref(info)) continue;
        if (level == 0) {
          fields[0] = info->get(field_name_set::genre);
        } else {
          fields[0] = info->get(field_name_set::artist);
          fields[1] = info->get(field_name_set::album_artist);
        }
      }
      for (const std::string& field : fields)
        split_pieces(field, track_display_info::value_separator,
                     [&](std::string_view part) { filer.add(part, index); });
    }
    break;
  }
  case 2:
    build_albums(tracks, grouper);
    grouper.finish(std::move(tracks), groups_[2]);
    return;
  case 3: {
    const bool one_album = selections_[2].size() == 1;
    const title_script& caption_script = one_album ? *song_caption_script_ : *title_script_;
    if (!one_album) track_order_script_ = title_script_.get();
    // Song captions are mostly distinct, so each track adds its own: a hash
    // of them would only add its own cost.
    static title_output_filter filter;
    qiv::string_buffer caption;
    std::optional<track_info_lock> lock;
    for (std::uint32_t index = 0; index < tracks.size(); ++index) {
      // The info lock is taken once for a run of tracks rather than per
      // track, yet let go often enough not to hold up a scan for long.
      if (index % tracks_per_lock == 0) {
        lock.reset();
        lock.emplace();
      }
      tracks[index]->evaluate_script(nullptr, caption, caption_script, &filter);
      if (caption.get_length() != 0)
        grouper.file(grouper.add_key(std::string_view(caption.get_ptr(), caption.get_length())), index);
    }
    break;
  }
  }
  grouper.finish(std::move(tracks), groups_[level]);
  fill_entries_from_groups(level);
}

void library_view_node::fill_entries_from_groups(std::uint32_t level) {
  entries_.clear();
  entries_made_ = false;
  first_entry_ = level == 1 && !selections_[0].empty() ? all_keys[1] : nullptr;
  entry_level_ = level;
  entry_groups_ = groups_[level].natural_order();
  if (level == 3) {
    keep_subsongs_in_file_order(entry_groups_, [&](std::uint32_t group) {
      const auto tracks = groups_[3].tracks(group);
      return tracks.empty() ? nullptr : tracks.front().get();
    });
  }
}

void library_view_node::make_entries(wide_text_list& out) const {
  out.clear();
  out.reserve(entry_groups_.size() + 1);
  if (first_entry_ != nullptr) out.emplace_back(first_entry_);
  for (const std::uint32_t group : entry_groups_) out.emplace_back(groups_[entry_level_].key(group));
}

const wide_text_list& library_view_node::entries() const {
  if (!entries_made_) {
    make_entries(entries_);
    entries_made_ = true;
  }
  return entries_;
}

wide_text_list library_view_node::copy_entries() const {
  if (entries_made_) return entries_;
  wide_text_list copy;
  make_entries(copy);
  return copy;
}

bool library_view_node::has_tracks() const {
  return entries_made_ ? !entries_.empty() : first_entry_ != nullptr || !entry_groups_.empty();
}

bool library_view_node::entries_equal(const wide_text_list& other) const {
  if (entries_made_) return entries_ == other;
  const std::size_t first = first_entry_ != nullptr ? 1 : 0;
  if (other.size() != first + entry_groups_.size() || (first != 0 && other[0] != first_entry_)) return false;
  for (std::size_t i = 0; i < entry_groups_.size(); ++i)
    if (other[first + i] != groups_[entry_level_].key(entry_groups_[i])) return false;
  return true;
}

void library_view_node::build_albums(const track_handle_list& tracks, library_view_grouper& grouper) {
  const wide_text_list& artists = selections_[1];
  const std::set<std::wstring> artist_set(artists.begin(), artists.end());
  wide_text_list own_albums, other_albums;  // whole texts: sort key, tab, caption
  // The album patterns read only the album artist, album and date, so each
  // distinct album is evaluated and filed once, however many tracks it has.
  qiv::text_numbering identities;
  std::vector<std::uint32_t> key_of_identity;
  // Those scripts read nothing but the album, artist, album artist and date
  // fields, so tracks alike in these four share one album without their
  // scripts being run again (a script costs many times a hash lookup).
  qiv::text_numbering field_sets;
  std::vector<std::uint32_t> key_of_fields;
  std::string fields, previous_fields;  // reused from track to track
  static title_output_filter filter;
  qiv::string_buffer identity_text, whole_text;
  // The grouper's key of a track's album: made the first time its album
  // identity comes up.
  const auto find_album = [&](const track_handle_ptr& track) {
    track->evaluate_script_locked(nullptr, identity_text, *album_identity_script_, &filter);
    const std::string_view identity(identity_text.get_ptr(), identity_text.get_length());
    const auto [number, fresh] = identities.add(identity);
    if (!fresh) return key_of_identity[number];
    // Field values cannot hold control characters (the filter), so U+0001
    // parts album, album artist and date.
    const std::size_t first = identity.find('\x01');
    const std::size_t second = identity.find('\x01', first + 1);
    const std::string_view album_artist = identity.substr(first + 1, second - first - 1);
    const title_script* pattern = all_album_pattern_.get();
    wide_text_list* albums = &own_albums;
    if (artists.size() == 1) {
      if (nav_wide(album_artist) == artists[0]) pattern = own_album_pattern_.get();
      else pattern = other_album_pattern_.get(), albums = &other_albums;
    } else if (artists.size() > 1) {
      std::set<std::wstring> pieces;
      split_pieces(album_artist, ", ", [&](std::string_view piece) { pieces.insert(nav_wide(piece)); });
      if (pieces == artist_set) pattern = own_album_pattern_.get();
      else pattern = other_album_pattern_.get(), albums = &other_albums;
    }
    track->evaluate_script_locked(nullptr, whole_text, *pattern, &filter);
    const std::string_view whole(whole_text.get_ptr(), whole_text.get_length());
    const std::size_t tab = whole.find('\t');
    albums->push_back(nav_wide(whole));
    key_of_identity.push_back(grouper.add_key(tab == std::string_view::npos ? whole : whole.substr(tab + 1)));
    return key_of_identity.back();
  };
  std::uint32_t album = 0;
  for (std::uint32_t index = 0; index < tracks.size(); ++index) {
    const track_handle_ptr& track = tracks[index];
    fields.clear();
    {
      track_info_lock lock;
      const track_display_info* info = nullptr;
      if (track->get_info_ref(info)) {
        std::string_view texts[field_name_set::field_count];
        info->get_all(texts);
        for (const std::uint32_t field :
             {field_name_set::album, field_name_set::artist, field_name_set::album_artist, field_name_set::date}) {
          fields += texts[field];
          fields += '\0';
        }
      }
    }
    // Tracks mostly come album by album: a track like the one before needs
    // no lookup.
    if (index == 0 || fields != previous_fields) {
      const auto [number, fresh] = field_sets.add(fields);
      if (fresh) key_of_fields.push_back(find_album(track));
      album = key_of_fields[number];
      previous_fields.swap(fields);
    }
    grouper.file(album, index);
  }
  // Each whole text once, in code-unit order: the natural order keeps that
  // order among texts it ranks alike.
  for (wide_text_list* albums : {&own_albums, &other_albums}) {
    std::sort(albums->begin(), albums->end());
    albums->erase(std::unique(albums->begin(), albums->end()), albums->end());
  }
  entries_.clear();
  entries_made_ = true;
  if (own_albums.size() + other_albums.size() >= 2) entries_.push_back(all_keys[2]);
  for (wide_text_list* albums : {&own_albums, &other_albums}) {
    for (std::wstring& text : nav_natural_order(std::move(*albums))) {
      const std::size_t tab = text.find(L'\t');
      if (tab != std::wstring::npos) text.erase(0, tab + 1);
      entries_.push_back(std::move(text));
    }
  }
}

bool library_view_node::album_identity(const std::wstring& caption, std::wstring& out) const {
  const library_view_groups& albums = groups_[2];
  const std::size_t group = albums.find(caption);
  if (group == library_view_groups::npos || albums.tracks(group).empty()) return false;
  // Captions alike name the album of the last track listed under them.
  std::string identity = evaluate(albums.tracks(group).back(), *album_identity_script_);
  std::replace(identity.begin(), identity.end(), '\x01', '\n');
  out = nav_wide(identity);
  return true;
}
