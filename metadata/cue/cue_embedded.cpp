#include "metadata/cue/cue_embedded.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <exception>
#include <vector>

#include "foundation/byte_compare.h"
#include "foundation/number_format.h"
#include "io/io_exceptions.h"
#include "metadata/cue/cue_sheet_edit.h"
#include "metadata/cue/cue_sheet_reader.h"
#include "metadata/cue/cue_value_not_stored.h"
#include "metadata/decoder_message_sink.h"
#include "metadata/replaygain_text.h"

namespace {

constexpr char cuesheet_field[] = "cuesheet";
constexpr char track_field_prefix[] = "cue_track";
constexpr std::size_t track_field_prefix_length = sizeof track_field_prefix - 1;

bool is_cuesheet_name(const char* name) { return qiv::stricmp_ascii_equal(name, cuesheet_field); }

bool is_track_field_name(const char* name) {
  return qiv::stricmp_ascii_n(name, std::min(std::strlen(name), track_field_prefix_length), track_field_prefix,
                              track_field_prefix_length) == 0;
}

// "cue_trackNN_rest": the track number and where the rest begins; 0 when the
// name has another form.
std::uint32_t override_track(const char* name, const char** rest) {
  if (!is_track_field_name(name) || std::strlen(name) < track_field_prefix_length + 4) return 0;
  const char* digits = name + track_field_prefix_length;
  if (digits[0] < '0' || digits[0] > '9' || digits[1] < '0' || digits[1] > '9' || digits[2] != '_') return 0;
  *rest = digits + 3;
  return std::uint32_t(digits[0] - '0') * 10 + std::uint32_t(digits[1] - '0');
}

// Replaces the destination's values of `name` by all values of the source field.
void set_field_values(track_info& destination, const char* name, const track_info& source, std::uint32_t field) {
  const std::uint32_t values = source.field_value_count(field);
  if (values == 0) return;
  const std::uint32_t index =
      destination.set_field(name, track_info::until_nul, source.field_value(field, 0), track_info::until_nul);
  for (std::uint32_t v = 1; v < values; ++v) destination.add_field_value(index, source.field_value(field, v));
}

bool same_field_values(const track_info& a, std::uint32_t field_a, const track_info& b, std::uint32_t field_b) {
  const std::uint32_t count = a.field_value_count(field_a);
  if (count != b.field_value_count(field_b)) return false;
  for (std::uint32_t v = 0; v < count; ++v) {
    if (std::strcmp(a.field_value(field_a, v), b.field_value(field_b, v)) != 0) return false;
  }
  return true;
}

// Same fields with the same values, in any field order; names ignore case.
bool same_fields(const track_info& a, const track_info& b) {
  auto with_values = [](const track_info& info) {
    std::uint32_t count = 0;
    for (std::uint32_t f = 0; f < info.field_count(); ++f) count += info.field_value_count(f) > 0;
    return count;
  };
  if (with_values(a) != with_values(b)) return false;
  for (std::uint32_t f = 0; f < a.field_count(); ++f) {
    if (a.field_value_count(f) == 0) continue;
    const std::uint32_t other = b.find_field(a.field_name(f));
    if (other == track_info::not_found || !same_field_values(a, f, b, other)) return false;
  }
  return true;
}

bool same_replaygain(const replaygain_info& a, const replaygain_info& b) {
  return a.album_gain == b.album_gain && a.track_gain == b.track_gain && a.album_peak == b.album_peak &&
         a.track_peak == b.track_peak;
}

cue_subsong& existing(cue_track_map& map, std::uint32_t subsong) {
  cue_subsong* found = map.find(subsong);
  if (!found) vantrel_io::throw_io_data();
  return *found;
}

const cue_subsong& existing(const cue_track_map& map, std::uint32_t subsong) {
  const cue_subsong* found = map.find(subsong);
  if (!found) vantrel_io::throw_io_data();
  return *found;
}

// Builds the cue track subsongs; throws when the sheet cannot be used.
void read_sheet(cue_track_map& map, const track_info& file_info, const char* sheet) {
  cue_track_list tracks;
  cue_parser::parse_cuesheet(sheet, tracks);
  for (std::uint32_t i = 0; i < tracks.size(); ++i) {
    const cue_track_entry& track = tracks[i];
    cue_subsong& subsong = map.find_or_add(track.number);
    subsong.indexes = track.indexes;
    subsong.info.copy_all_from(track.info);
    for (std::uint32_t t = 0; t < file_info.tech_count(); ++t) {
      if (subsong.info.find_tech(file_info.tech_name(t)) == track_info::not_found) {
        subsong.info.append_tech(file_info.tech_name(t), track_info::until_nul, file_info.tech_value(t),
                                 track_info::until_nul);
      }
    }
    subsong.info.set_tech("cue_embedded", track_info::until_nul, "yes", 3);
    // Tracks are cut at INDEX 01: a track's gap plays at the end of the one before.
    const double start = track.indexes[1];
    const double end = i + 1 < tracks.size() ? tracks[i + 1].indexes[1] : file_info.get_length();
    if (!(end > start)) vantrel_io::throw_io_data();
    subsong.info.set_length(end - start);
    // The sheet's gain is the track's own; the file's stands for the values the sheet does not give.
    subsong.info.set_replaygain(replaygain_merge(subsong.info.get_replaygain(), file_info.get_replaygain()));
  }

  // The file's own tags win over the sheet; per-track override fields win over both.
  for (std::uint32_t f = 0; f < file_info.field_count(); ++f) {
    const char* name = file_info.field_name(f);
    if (is_cuesheet_name(name) || is_track_field_name(name)) continue;
    for (auto& [number, subsong] : map) {
      if (number != 0) set_field_values(subsong.info, name, file_info, f);
    }
  }
  for (std::uint32_t f = 0; f < file_info.field_count(); ++f) {
    const char* rest = nullptr;
    const std::uint32_t number = override_track(file_info.field_name(f), &rest);
    if (number == 0 || *rest == '\0') continue;
    if (cue_subsong* subsong = map.find(number)) set_field_values(subsong->info, rest, file_info, f);
  }
}

// A field's values; none when it is absent.
using value_list = std::vector<std::string>;

value_list values_named(const track_info& info, const char* name) {
  value_list values;
  const std::uint32_t field = info.find_field(name);
  if (field == track_info::not_found) return values;
  for (std::uint32_t v = 0; v < info.field_value_count(field); ++v) values.emplace_back(info.field_value(field, v));
  return values;
}

// The field takes the values in its place among the others; no values remove it.
void set_values(track_info& info, const char* name, const value_list& values) {
  std::uint32_t field = info.find_field(name);
  if (values.empty()) {
    if (field == track_info::not_found) return;
    qiv::bit_array selection(info.field_count());
    selection.set(field, true);
    info.remove_fields(selection);
    return;
  }
  if (field == track_info::not_found) {
    field = info.set_field(name, track_info::until_nul, values[0].data(), values[0].size());
  }
  while (info.field_value_count(field) > values.size()) {
    info.remove_field_value(field, info.field_value_count(field) - 1);
  }
  for (std::uint32_t v = 0; v < values.size(); ++v) {
    if (v < info.field_value_count(field)) info.replace_field_value(field, v, values[v].data(), values[v].size());
    else info.add_field_value(field, values[v].data(), values[v].size());
  }
}

using field_change = cue_field_change;
using change_list = std::vector<field_change>;

// What a track reads of the changed field or ReplayGain value.
value_list values_read(const track_info& info, const field_change& change) {
  const replaygain_field* gain = change.replaygain ? replaygain_find_field(change.name.c_str()) : nullptr;
  if (!gain) return values_named(info, change.name.c_str());
  std::string text;
  if (!replaygain_format_field(text, info.get_replaygain(), *gain)) return {};
  return {text};
}

const field_change* find_change(const change_list& changes, const char* name) {
  for (const field_change& change : changes) {
    if (qiv::stricmp_ascii_equal(change.name.c_str(), name)) return &change;
  }
  return nullptr;
}

// The change takes the place of an earlier one of the same field.
void put_change(change_list& changes, const field_change& change) {
  std::erase_if(changes,
                [&](const field_change& c) { return qiv::stricmp_ascii_equal(c.name.c_str(), change.name.c_str()); });
  changes.push_back(change);
}

change_list changes_between(const track_info& before, const track_info& after) {
  change_list changes;
  auto compare = [&](const char* name) {
    if (find_change(changes, name)) return;
    value_list now = values_named(after, name);
    if (now != values_named(before, name)) changes.push_back({name, std::move(now)});
  };
  for (std::uint32_t f = 0; f < after.field_count(); ++f) {
    if (after.field_value_count(f)) compare(after.field_name(f));
  }
  for (std::uint32_t f = 0; f < before.field_count(); ++f) compare(before.field_name(f));

  const replaygain_info was = before.get_replaygain();
  const replaygain_info now = after.get_replaygain();
  for (const replaygain_field& field : replaygain_fields) {
    std::string old_text, new_text;
    replaygain_format_field(old_text, was, field);
    const bool present = replaygain_format_field(new_text, now, field);
    if (old_text != new_text) changes.push_back({field.name, present ? value_list{new_text} : value_list{}, true});
  }
  return changes;
}

using track_changes = std::map<std::uint32_t, change_list>;

// The change was made on every cue track, to the same values.
bool made_alike_everywhere(const cue_track_map& map, const track_changes& changes, const field_change& change) {
  return std::all_of(map.begin(), map.end(), [&](const auto& entry) {
    if (entry.first == 0) return true;
    const auto found = changes.find(entry.first);
    const field_change* own = found == changes.end() ? nullptr : find_change(found->second, change.name.c_str());
    return own && own->values == change.values;
  });
}

// Where the file's tags and the edited sheet do not read back as a cue track
// showed a value, or as its edit set it, the track's override field carries it;
// a value every track needs alike, of a field the file has no tag of, is the
// file's tag instead, where other programs read it (the album artist of a
// header PERFORMER that went with the artist).
// An absent value cannot be carried: a tag reader drops empty values.
void add_needed_overrides(const cue_track_map& map, track_info& result) {
  cue_track_map written;
  cue_embedded::read_track_info(written, result);
  const track_info_impl nothing;
  std::map<std::string, std::map<std::uint32_t, value_list>> needed;
  for (const auto& [number, subsong] : map) {
    if (number == 0) continue;
    const cue_subsong* again = written.find(number);
    const track_info& reads = again ? again->info : nothing;
    for (std::uint32_t f = 0; f < subsong.info.field_count(); ++f) {
      const char* name = subsong.info.field_name(f);
      const value_list wanted = values_named(subsong.info, name);
      if (!wanted.empty() && values_named(reads, name) != wanted) needed[name][number] = wanted;
    }
  }
  for (const auto& [name, tracks] : needed) {
    const value_list& first = tracks.begin()->second;
    const bool alike = tracks.size() + 1 == map.size() &&
                       std::all_of(tracks.begin(), tracks.end(), [&](const auto& t) { return t.second == first; });
    if (alike && result.find_field(name.c_str()) == track_info::not_found) {
      set_values(result, name.c_str(), first);
      continue;
    }
    for (const auto& [number, wanted] : tracks)
      set_values(result, cue_embedded::make_track_field_name(name.c_str(), number).c_str(), wanted);
  }
}

// The info's gain takes the changed value.
void set_gain_value(track_info& info, const field_change& change) {
  const replaygain_field* field = replaygain_find_field(change.name.c_str());
  if (!field) return;
  replaygain_info changed;
  if (!change.values.empty()) changed.set_from_field(field->name, change.values[0].data(), change.values[0].size());
  replaygain_info gain = info.get_replaygain();
  gain.*(field->value) = changed.*(field->value);
  info.set_replaygain(gain);
}

void make_change(track_info& info, const field_change& change) {
  if (change.replaygain) set_gain_value(info, change);
  else set_values(info, change.name.c_str(), change.values);
}

// A removal is stored when the track reads no value of the field at all: one
// that the removed value hid is not what the user saw. Where the file's tag
// or the sheet's header still gives it, no tag or line of one track can say
// the track has none: nothing is written.
void check_removals(const cue_track_map& map, const track_changes& changes, const track_info& result) {
  cue_track_map written;
  cue_embedded::read_track_info(written, result);
  for (const auto& [number, own_changes] : changes) {
    const cue_subsong* was = map.find(number);
    const cue_subsong* again = written.find(number);
    if (!was || !again) continue;
    for (const field_change& change : own_changes) {
      const char* name = change.name.c_str();
      if (!change.values.empty() || is_cuesheet_name(name) || is_track_field_name(name)) continue;
      const value_list reads = values_read(again->info, change);
      if (!reads.empty())
        throw exception_cue_value_not_stored(name, number, exception_cue_value_not_stored::edit::removal);
    }
  }
}

// Some track of the sheet has its own value of the change's field or gain.
bool sheet_gives(const std::string& text, const field_change& change) {
  cue_track_list tracks;
  try {
    cue_parser::parse_cuesheet(text.c_str(), tracks);
  } catch (const vantrel_io::exception_io_data&) {
    return true;
  }
  for (std::uint32_t i = 0; i < tracks.size(); ++i) {
    if (!values_read(tracks[i].info, change).empty()) return true;
  }
  return false;
}

bool is_performer_field(const char* name) {
  return qiv::stricmp_ascii_equal(name, "artist") || qiv::stricmp_ascii_equal(name, "album artist");
}

// The tracks of a sheet; none when it cannot be read.
cue_track_list tracks_of(const std::string& text) {
  cue_track_list tracks;
  try {
    cue_parser::parse_cuesheet(text.c_str(), tracks);
  } catch (const vantrel_io::exception_io_data&) {
    tracks.clear();
  }
  return tracks;
}

// The header PERFORMER goes; a track that read its artist from it keeps
// that artist on a PERFORMER line of its own.
void move_sheet_performer_into_tracks(cue_sheet_edit& sheet) {
  const cue_track_list before = tracks_of(sheet.text());
  sheet.remove_sheet_performer();
  const cue_track_list after = tracks_of(sheet.text());
  if (after.size() != before.size()) return;
  for (std::uint32_t i = 0; i < before.size(); ++i) {
    const value_list artist = values_named(before[i].info, "artist");
    if (values_named(after[i].info, "artist") != artist) sheet.set_track_value(before[i].number, "artist", artist);
  }
}

// A field removed from every cue track: the sheet's header line and every
// track's own line go with the file's tag, also lines the tag hid, so that
// no track reads the field afterwards. The header PERFORMER goes with the
// artist, and with the album artist where it gives one.
void remove_everywhere(const cue_track_map& map, const char* name, cue_sheet_edit& sheet) {
  sheet.remove_sheet_value(name);
  for (const auto& track : map) {
    if (track.first != 0) sheet.set_track_value(track.first, name, {});
  }
  if (qiv::stricmp_ascii_equal(name, "artist")) sheet.remove_sheet_performer();
  else if (qiv::stricmp_ascii_equal(name, "album artist") && sheet_gives(sheet.text(), {name, {}}))
    move_sheet_performer_into_tracks(sheet);
}

// Values the sheet can give the whole disc.
bool is_disc_field(const char* name) { return cue_sheet_edit::has_sheet_line(name) || is_performer_field(name); }

// What the sheet's header gives a track without a line of its own: the
// value once every track's lines of it are taken away.
value_list header_values(const cue_track_map& map, const char* sheet, const field_change& change) {
  cue_sheet_edit bare(sheet);
  for (const auto& track : map) {
    if (track.first != 0) bare.set_track_value(track.first, change.name.c_str(), {});
  }
  const cue_track_list tracks = tracks_of(bare.text());
  return tracks.size() ? values_read(tracks[0].info, change) : value_list{};
}

// Beside the file's own values, those of the disc fields it lacks that every
// cue track reads alike; where the tracks differ, the sheet header's value
// that some of them read (the disc's PERFORMER beside a guest's), so that
// removing it from the file as a whole removes what the tracks show.
void add_disc_values(const cue_track_map& map, track_info& whole) {
  const auto* first = map.find_nth(1);  // the first cue track
  if (!first) return;
  const std::uint32_t sheet_field = whole.find_field(cuesheet_field);
  auto disc_value = [&](const field_change& change) {
    const value_list values = values_read(first->second.info, change);
    const bool alike = std::all_of(map.begin(), map.end(), [&](const auto& entry) {
      return entry.first == 0 || values_read(entry.second.info, change) == values;
    });
    if (alike) return values;
    if (sheet_field == track_info::not_found || whole.field_value_count(sheet_field) == 0) return value_list{};
    const value_list header = header_values(map, whole.field_value(sheet_field, 0), change);
    const bool read = !header.empty() && std::any_of(map.begin(), map.end(), [&](const auto& entry) {
      return entry.first != 0 && values_read(entry.second.info, change) == header;
    });
    return read ? header : value_list{};
  };
  const track_info& tracks = first->second.info;
  for (std::uint32_t f = 0; f < tracks.field_count(); ++f) {
    const char* name = tracks.field_name(f);
    if (is_disc_field(name) && whole.find_field(name) == track_info::not_found)
      set_values(whole, name, disc_value({name, {}}));
  }
  for (const replaygain_field& field : replaygain_fields) {
    const field_change gain{field.name, {}, true};
    if (!cue_sheet_edit::has_sheet_line(field.name) || !values_read(whole, gain).empty()) continue;
    const value_list values = disc_value(gain);
    if (!values.empty()) set_gain_value(whole, {field.name, values, true});
  }
}

// Beside a sheet kept in a block the tracks' values go into the file's tags:
// a change made alike everywhere into the tag, any other into the track's
// override. Every change must read back as made, or nothing is written.
void write_beside_block(const cue_track_map& map, const track_info& file_info, const track_changes& changes,
                        track_info& out) {
  track_info_impl result(file_info);
  change_list handled;
  for (const auto& entry : changes) {
    for (const field_change& change : entry.second) {
      const char* name = change.name.c_str();
      if (find_change(handled, name) || is_cuesheet_name(name) || is_track_field_name(name)) continue;
      handled.push_back({change.name, {}});
      const bool everywhere = made_alike_everywhere(map, changes, change);
      if (change.replaygain) {
        if (everywhere) set_gain_value(result, change);
        continue;
      }
      if (everywhere) set_values(result, name, change.values);
      for (const auto& [number, own_changes] : changes) {
        if (everywhere || find_change(own_changes, name))
          set_values(result, cue_embedded::make_track_field_name(name, number).c_str(), {});
      }
    }
  }
  add_needed_overrides(map, result);

  cue_track_map written;
  cue_embedded::read_track_info(written, result);
  for (const auto& [number, own_changes] : changes) {
    const cue_subsong* again = written.find(number);
    for (const field_change& change : own_changes) {
      const char* name = change.name.c_str();
      if (is_cuesheet_name(name) || is_track_field_name(name)) continue;
      if ((again ? values_read(again->info, change) : value_list{}) != change.values)
        throw exception_cue_value_not_stored(name, number);
    }
  }
  out.copy_all_from(result);
}

void drop_cue_tracks(cue_track_map& map) {
  cue_subsong whole = std::move(existing(map, 0));
  map.clear();
  map.find_or_add(0) = std::move(whole);
}

void ignore_sheet(cue_track_map& map, decoder_message_sink* sink, const char* reason) {
  drop_cue_tracks(map);
  if (sink) sink->on_message((std::string("Embedded cue sheet ignored: ") + reason).c_str(), false);
}

}  // namespace

const std::pair<const std::uint32_t, cue_subsong>* cue_track_map::find_nth(std::uint32_t n) const {
  if (n >= subsongs_.size()) return nullptr;
  return &*std::next(subsongs_.begin(), n);
}

cue_subsong* cue_track_map::find(std::uint32_t subsong) {
  auto found = subsongs_.find(subsong);
  return found == subsongs_.end() ? nullptr : &found->second;
}

const cue_subsong* cue_track_map::find(std::uint32_t subsong) const {
  auto found = subsongs_.find(subsong);
  return found == subsongs_.end() ? nullptr : &found->second;
}

namespace cue_embedded {

void read_track_info(cue_track_map& map, const track_info& file_info, decoder_message_sink* sink,
                     cue_sheet_storage storage) {
  map.clear();
  map.storage = storage;
  cue_subsong& whole = map.find_or_add(0);
  whole.info.copy_all_from(file_info);
  whole.info.set_tech("cue_embedded", track_info::until_nul, "no", 2);

  const std::uint32_t sheet_field = file_info.find_field(cuesheet_field);
  if (sheet_field == track_info::not_found || file_info.field_value_count(sheet_field) == 0) return;
  // A sheet that cannot be used must not make the file unplayable or
  // unwritable: the file plays whole and keeps the sheet for a later repair.
  try {
    read_sheet(map, file_info, file_info.field_value(sheet_field, 0));
  } catch (const vantrel_io::exception_io_data& e) {
    ignore_sheet(map, sink, e.what());
  } catch (const std::runtime_error& e) {  // a time with too many ':'
    ignore_sheet(map, sink, e.what());
  }
}

void apply_track_info(cue_track_map& map, std::uint32_t subsong, const track_info& info) {
  cue_subsong& entry = existing(map, subsong);
  track_info_impl fields;
  for (std::uint32_t f = 0; f < info.field_count(); ++f) {
    if (info.field_value_count(f)) track_info::copy_field_values_from(fields, info, f);
  }
  if (same_fields(fields, entry.info) && same_replaygain(info.get_replaygain(), entry.info.get_replaygain())) return;
  if (!entry.edited) entry.shown = entry.info;
  entry.info.copy_fields_from(fields);
  entry.info.set_replaygain(info.get_replaygain());
  entry.edited = true;
}

void apply_file_info(cue_track_map& map, const track_info& info, decoder_message_sink* sink) {
  track_info_impl shown;
  track_info_from_cue(map, 0, shown);
  const change_list changes = changes_between(shown, info);
  const bool had_tracks = map.size() > 1;
  change_list for_tracks;
  track_info_impl own(existing(map, 0).info);
  for (const field_change& change : changes) {
    const char* name = change.name.c_str();
    if (had_tracks && !is_cuesheet_name(name) && !is_track_field_name(name)) for_tracks.push_back(change);
    else make_change(own, change);
  }
  if (for_tracks.size() < changes.size()) read_track_info(map, own, sink, map.storage);
  if (map.size() < 2) {
    for (const field_change& change : for_tracks) make_change(existing(map, 0).info, change);
    return;
  }
  for (const field_change& change : for_tracks) {
    for (auto& [number, subsong] : map) {
      if (number == 0) continue;
      if (!subsong.edited) subsong.shown = subsong.info;
      subsong.edited = true;
      make_change(subsong.info, change);
    }
    put_change(map.file_changes, change);
  }
}

void write_track_info(const cue_track_map& map, track_info& out) {
  const cue_subsong& whole = existing(map, 0);
  track_changes changes;
  for (const auto& [number, subsong] : map) {
    if (number == 0 || !subsong.edited) continue;
    change_list found = changes_between(subsong.shown, subsong.info);
    if (!found.empty()) changes[number] = std::move(found);
  }
  // Made on the file, a change counts as made on every track, also where a
  // track already read its new value.
  for (const field_change& change : map.file_changes) {
    for (const auto& track : map) {
      if (track.first != 0) put_change(changes[track.first], change);
    }
  }
  const std::uint32_t sheet_field = whole.info.find_field(cuesheet_field);
  if (changes.empty() || map.size() < 2 || sheet_field == track_info::not_found) {
    out.copy_all_from(whole.info);
    return;
  }

  if (map.storage == cue_sheet_storage::block) {
    write_beside_block(map, whole.info, changes, out);
    return;
  }
  track_info_impl result(whole.info);
  cue_sheet_edit sheet(whole.info.field_value(sheet_field, 0));
  change_list handled;
  for (const auto& entry : changes) {
    for (const field_change& change : entry.second) {
      const char* name = change.name.c_str();
      // The sheet and the overrides are the file's own; a track cannot carry them.
      if (find_change(handled, name) || is_cuesheet_name(name) || is_track_field_name(name)) continue;
      handled.push_back({change.name, {}});
      if (made_alike_everywhere(map, changes, change)) {
        // The file's tag, which no track's override may hide any longer.
        if (!change.replaygain) {
          set_values(result, name, change.values);
          for (const auto& track : map) {
            if (track.first != 0) set_values(result, make_track_field_name(name, track.first).c_str(), {});
          }
        } else {
          // Other programs read the gain from the file's own items alone; it
          // shows on every track the sheet gives none, so a sheet without it
          // stays as it is.
          set_gain_value(result, change);
          if (!sheet_gives(sheet.text(), change)) continue;
        }
        if (change.values.empty()) {
          remove_everywhere(map, name, sheet);
        } else if (cue_sheet_edit::has_sheet_line(name)) {
          sheet.set_sheet_value(name, change.values);
        } else {
          for (const auto& track : map) {
            if (track.first != 0) sheet.set_track_value(track.first, name, change.values);
          }
        }
        continue;
      }
      for (const auto& [number, own_changes] : changes) {
        const field_change* own = find_change(own_changes, name);
        if (!own) continue;
        if (!own->replaygain) set_values(result, make_track_field_name(name, number).c_str(), {});
        sheet.set_track_value(number, name, own->values);
      }
    }
  }
  // Found again by name: the changes above may have moved or removed fields before it.
  const std::string text = sheet.text();
  result.replace_field_value(result.find_field(cuesheet_field), 0, text.data(), text.size());
  add_needed_overrides(map, result);
  check_removals(map, changes, result);
  out.copy_all_from(result);
}

void track_info_from_cue(const cue_track_map& map, std::uint32_t subsong, track_info& out) {
  const cue_subsong& entry = existing(map, subsong);
  out.reset();
  out.copy_all_from(entry.info);
  if (subsong != 0) return;
  // An edit not yet written shows as made.
  for (const field_change& change : map.file_changes) make_change(out, change);
  add_disc_values(map, out);
}

track_range get_track_range(const cue_track_map& map, std::uint32_t subsong) {
  const cue_subsong& entry = existing(map, subsong);
  return {entry.indexes[1], entry.info.get_length()};
}

std::uint32_t subsong_at(const cue_track_map& map, std::uint32_t n) {
  if (map.size() < 2) return 0;
  const auto* found = map.find_nth(n + (map.find(0) ? 1 : 0));
  return found ? found->first : 0;
}

std::string make_track_field_name(const char* name, std::uint32_t track_number) {
  char buffer[qiv::decimal_buffer_size];
  return std::string(track_field_prefix) + qiv::format_uint(buffer, track_number % 100, 2) + "_" + name;
}

}  // namespace cue_embedded
