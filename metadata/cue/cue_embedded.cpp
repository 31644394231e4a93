#include "metadata/cue/cue_embedded.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <exception>
#include <vector>

#include "foundation/byte_compare.h"
#include "foundation/number_format.h"
#include "io/io_exceptions.h"
#include "metadata/cue/cue_sheet_reader.h"
#include "metadata/cue/cue_sheet_writer.h"
#include "metadata/decoder_message_sink.h"

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

bool same_values(const track_info& a, std::uint32_t field_a, const track_info& b, std::uint32_t field_b) {
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
    if (other == track_info::not_found || !same_values(a, f, b, other)) return false;
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
    subsong.file_name = track.file_name;
    subsong.flags = track.flags;
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

void read_track_info(cue_track_map& map, const track_info& file_info, decoder_message_sink* sink) {
  map.clear();
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
  entry.info.copy_fields_from(fields);
  entry.info.set_replaygain(info.get_replaygain());
  entry.edited = true;
}

void write_track_info(const cue_track_map& map, track_info& out) {
  const cue_subsong& whole = existing(map, 0);
  const bool any_edited =
      std::any_of(map.begin(), map.end(), [](const auto& e) { return e.first != 0 && e.second.edited; });
  if (map.size() < 2 || !any_edited) {
    out.copy_all_from(whole.info);
    return;
  }

  cue_track_list tracks;
  std::vector<const track_info*> infos;
  for (const auto& [number, subsong] : map) {
    if (number == 0) continue;
    cue_track_entry& entry = tracks.append_new();
    entry.number = number;
    entry.file_name = subsong.file_name;
    entry.flags = subsong.flags;
    entry.indexes = subsong.indexes;
    entry.info.copy_all_from(subsong.info);
    infos.push_back(&subsong.info);
  }
  std::string sheet;
  cue_parser::write_cuesheet(sheet, tracks);
  tracks.clear();
  cue_parser::parse_cuesheet(sheet.c_str(), tracks);

  track_info_impl result;
  // Fields every cue track holds with the same values become plain tags.
  auto skipped = [](const char* name) { return is_cuesheet_name(name) || is_track_field_name(name); };
  auto is_common = [&](const char* name) {
    const track_info& first = *infos.front();
    const std::uint32_t first_field = first.find_field(name);
    if (first_field == track_info::not_found) return false;
    return std::all_of(infos.begin(), infos.end(), [&](const track_info* info) {
      const std::uint32_t field = info->find_field(name);
      return field != track_info::not_found && same_values(*info, field, first, first_field);
    });
  };
  for (const track_info* info : infos) {
    for (std::uint32_t f = 0; f < info->field_count(); ++f) {
      const char* name = info->field_name(f);
      if (skipped(name) || result.find_field(name) != track_info::not_found || !is_common(name)) continue;
      track_info::copy_field_values_from(result, *info, f);
    }
  }
  // Everything else travels as the track's override fields.
  for (const auto& [number, subsong] : map) {
    if (number == 0) continue;
    for (std::uint32_t f = 0; f < subsong.info.field_count(); ++f) {
      const char* name = subsong.info.field_name(f);
      if (skipped(name) || is_common(name)) continue;
      set_field_values(result, make_track_field_name(name, number).c_str(), subsong.info, f);
    }
  }
  // Overrides that the sheet itself reproduces are not needed.
  for (const auto& track : tracks) {
    for (const char* name : {"tracknumber", "title"}) {
      const std::uint32_t override_field = result.find_field(make_track_field_name(name, track->number).c_str());
      const std::uint32_t sheet_field = track->info.find_field(name);
      if (override_field == track_info::not_found || sheet_field == track_info::not_found) continue;
      if (!same_values(result, override_field, track->info, sheet_field)) continue;
      qiv::bit_array selection(result.field_count());
      selection.set(override_field, true);
      result.remove_fields(selection);
    }
  }
  // Override fields of tracks the sheet does not have are the user's: keep them.
  for (std::uint32_t f = 0; f < whole.info.field_count(); ++f) {
    const char* name = whole.info.field_name(f);
    const char* rest = nullptr;
    const std::uint32_t number = override_track(name, &rest);
    if (!is_track_field_name(name) || (number != 0 && *rest != '\0' && map.find(number))) continue;
    if (result.find_field(name) == track_info::not_found) track_info::copy_field_values_from(result, whole.info, f);
  }
  result.set_field(cuesheet_field, track_info::until_nul, sheet.data(), sheet.size());
  result.copy_techs_from(whole.info);
  result.set_length(whole.info.get_length());
  result.set_replaygain(whole.info.get_replaygain());
  out.copy_all_from(result);
}

void track_info_from_cue(const cue_track_map& map, std::uint32_t subsong, track_info& out) {
  const cue_subsong& entry = existing(map, subsong);
  out.reset();
  out.copy_all_from(entry.info);
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
