#include "properties/technical_info_rows.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "core/localized_text.h"
#include "core/service_factory.h"
#include "foundation/audio_math.h"
#include "foundation/case_folding.h"
#include "foundation/file_size_format.h"
#include "foundation/number_format.h"
#include "foundation/path_names.h"
#include "foundation/string_buffer.h"
#include "foundation/time_format.h"
#include "foundation/utf8.h"
#include "io/path_schemes.h"
#include "metadata/replaygain_text.h"
#include "ui/framework/timestamp_text.h"

namespace technical_info {

namespace {

std::size_t last_separator(std::string_view path) {
  for (std::size_t i = path.size(); i > 0; --i)
    if (qiv::is_path_separator(path[i - 1])) return i - 1;
  return std::string_view::npos;
}

}  // namespace

std::string group_thousands(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ' ';
    out += digits[i];
  }
  return out;
}

std::string file_size_text(std::uint64_t bytes) {
  const qiv::file_size_text size = qiv::format_file_size(bytes);
  std::string out = size.text.get_ptr();
  if (size.unit_bytes > 1) {
    localized_values values;
    values.find_or_add(qiv::string_small("bytes"), qiv::string_small(group_thousands(bytes).c_str()));
    qiv::string_buffer suffix;
    localized_text_format("properties_info_bytes_suffix", values, suffix);
    out += ' ';
    out += suffix.get_ptr();
  }
  return out;
}

std::string folder_name(std::string_view display_path) {
  const std::size_t last = last_separator(display_path);
  if (last == std::string_view::npos) return {};
  const bool keep = last == 0 || qiv::is_path_separator(display_path[last - 1]);
  return std::string(display_path.substr(0, keep ? last + 1 : last));
}

std::string file_name(std::string_view display_path) {
  const std::size_t last = last_separator(display_path);
  std::string_view name = last == std::string_view::npos ? display_path : display_path.substr(last + 1);
  return std::string(name.substr(0, name.find('?')));
}

}  // namespace technical_info

namespace {

constexpr std::size_t list_text_limit = 100;
constexpr const char* list_cut = " ...";

std::string text_of(const char* id) { return localized_text_get(id); }

std::string display_path_of(const track_handle_ptr& handle) {
  qiv::string_buffer out;
  vantrel_io::get_display_path(out, handle->get_location().get_path());
  return out.get_ptr();
}

// The info cache's length (read with the info, in full precision), else the
// handle's cached one.
double track_length(const track_handle_ptr& handle, const info_cache& infos) {
  if (const info_cache::entry* found = infos.find(handle.get())) return found->info.get_length();
  track_display_info record;
  return handle->get_info(record) ? record.get_length() : 0.0;
}

const char* tech_of(const track_info& info, const char* name) {
  const std::uint32_t index = info.find_tech(name);
  return index == track_info::not_found ? nullptr : info.tech_value(index);
}

// The value every track has for a technical field, byte for byte.
bool common_tech_value(const track_handle_list& tracks, const info_cache& infos, const char* name,
                       std::string& out) {
  if (tracks.empty()) return false;
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const info_cache::entry* found = infos.find(tracks[i].get());
    if (found == nullptr) return false;
    const char* value = tech_of(found->info, name);
    if (value == nullptr) return false;
    if (i == 0) out = value;
    else if (out != value) return false;
  }
  return true;
}

using extractor = bool (*)(const track_info& info, const char* name, std::string& out);

bool plain_tech(const track_info& info, const char* name, std::string& out) {
  const char* value = tech_of(info, name);
  if (value == nullptr) return false;
  out = value;
  return true;
}

bool codec_text(const track_info& info, const char*, std::string& out) {
  const char* codec = tech_of(info, "codec");
  if (codec == nullptr) return false;
  out = codec;
  if (const char* profile = tech_of(info, "codec_profile")) out = out + " " + profile;
  return true;
}

bool samplerate_text(const track_info& info, const char*, std::string& out) {
  const char* rate = tech_of(info, "samplerate");
  if (rate == nullptr) return false;
  out = std::string(rate) + " Hz";
  return true;
}

// Each value with its share of the selection, weighted by length (by count
// when no track has a length); a value alone when every track has it.
bool tally_values(const track_handle_list& tracks, const info_cache& infos, extractor extract, const char* name,
                  std::string& out) {
  std::map<std::string, double> weights;
  double total = 0.0;
  bool incomplete = false;
  for (int pass = 0; pass < 2 && weights.empty(); ++pass) {
    weights.clear();
    total = 0.0;
    incomplete = false;
    for (const track_handle_ptr& handle : tracks) {
      double weight = 1.0;
      if (pass == 0) {
        weight = track_length(handle, infos);
        if (!(weight > 0.0)) continue;
      }
      const info_cache::entry* found = infos.find(handle.get());
      if (found == nullptr) return false;
      std::string value;
      if (extract(found->info, name, value)) weights[value] += weight;
      else incomplete = true;
      total += weight;
    }
  }
  if (weights.empty()) return false;
  if (weights.size() == 1 && !incomplete) {
    out = weights.begin()->first;
    return true;
  }
  struct ranked {
    std::string value;
    double share;
  };
  std::vector<ranked> list;
  for (const auto& [value, weight] : weights) list.push_back({value, weight / total});
  // Values that differ only in letter case are both kept, in byte order.
  std::stable_sort(list.begin(), list.end(), [](const ranked& a, const ranked& b) {
    if (a.share != b.share) return a.share > b.share;
    return qiv::compare_nocase(a.value.c_str(), b.value.c_str()) < 0;
  });
  out.clear();
  for (const ranked& entry : list) {
    if (!out.empty()) out += "; ";
    const std::int64_t tenths = std::int64_t(std::floor(entry.share * 1000.0 + 0.5));
    out += entry.value + " (" + qiv::format_tenths(tenths).get_ptr() + "%)";
  }
  return true;
}

bool tally_tech(const track_handle_list& tracks, const info_cache& infos, const char* name, std::string& out) {
  return tally_values(tracks, infos, plain_tech, name, out);
}

std::uint64_t average_bitrate(const track_handle_list& tracks, const info_cache& infos) {
  double weighted = 0.0;
  double lengths = 0.0;
  for (const track_handle_ptr& handle : tracks) {
    const info_cache::entry* found = infos.find(handle.get());
    if (found == nullptr) continue;
    const double length = found->info.get_length();
    if (!(length > 0.0)) continue;
    const char* text = tech_of(found->info, "bitrate");
    if (text == nullptr) continue;
    const long long bitrate = std::strtoll(text, nullptr, 10);
    if (bitrate <= 0) continue;
    weighted += double(bitrate) * length;
    lengths += length;
  }
  if (weighted == 0.0 || lengths == 0.0) return 0;
  return std::uint64_t(std::floor(weighted / lengths + 0.5));
}

// Appends a name list entry unless the text has grown past the limit;
// answers false once the list is cut.
bool append_limited(std::string& text, const std::string& entry, bool count_characters) {
  const std::size_t length = count_characters ? qiv::utf8_strlen(text.c_str(), text.size()) : text.size();
  if (length > list_text_limit) {
    text += list_cut;
    return false;
  }
  if (!text.empty()) text += ", ";
  text += entry;
  return true;
}

void add_name_row(info_row_sink& sink, const std::string& group, double key, const std::vector<std::string>& names,
                  const char* single_id, const char* plural_id) {
  std::set<std::string> seen;
  std::string text;
  for (const std::string& name : names) {
    if (name.empty() || seen.count(name) != 0) continue;
    if (!append_limited(text, name, true)) break;
    seen.insert(name);
  }
  if (!seen.empty()) sink.add_row(group, key, text_of(seen.size() > 1 ? plural_id : single_id), text);
}

void add_location_rows(const track_handle_list& tracks, const info_cache& infos, info_row_sink& sink) {
  const std::string group = text_of("properties_group_location");
  std::vector<std::string> display_paths;
  for (const track_handle_ptr& handle : tracks) display_paths.push_back(display_path_of(handle));

  const bool all_in_one_file =
      !tracks.empty() && std::all_of(tracks.begin(), tracks.end(), [&](const track_handle_ptr& handle) {
        return std::strcmp(handle->get_location().get_path(), tracks[0]->get_location().get_path()) == 0;
      });
  if (all_in_one_file) {
    sink.add_row(group, 2.0, text_of("properties_info_filepath"), display_paths[0]);
    if (!vantrel_io::is_remote(tracks[0]->get_location().get_path())) {
      std::string subsongs;
      for (const track_handle_ptr& handle : tracks)
        if (!append_limited(subsongs, std::to_string(handle->get_location().get_subsong()), false)) break;
      if (subsongs != "0") sink.add_row(group, 3.0, text_of("properties_info_subsong"), subsongs);
    }
  }

  std::vector<std::string> files;
  std::vector<std::string> folders;
  for (const std::string& path : display_paths) {
    files.push_back(technical_info::file_name(path));
    folders.push_back(technical_info::folder_name(path));
  }
  add_name_row(sink, group, 0.0, files, "properties_info_filename", "properties_info_filenames");
  add_name_row(sink, group, 1.0, folders, "properties_info_foldername", "properties_info_foldernames");

  // Each file counts once, however many of its subsongs are selected.
  std::vector<const track_handle*> by_path;
  for (const track_handle_ptr& handle : tracks) by_path.push_back(handle.get());
  std::sort(by_path.begin(), by_path.end(), [](const track_handle* a, const track_handle* b) {
    return std::strcmp(a->get_location().get_path(), b->get_location().get_path()) < 0;
  });
  std::uint64_t total = 0;
  bool size_known = true;
  for (std::size_t i = 0; i < by_path.size() && size_known; ++i) {
    if (i > 0 && std::strcmp(by_path[i]->get_location().get_path(), by_path[i - 1]->get_location().get_path()) == 0)
      continue;
    vantrel_io::file_stats stats;
    size_known = infos.get_stats(by_path[i], stats) && stats.size != vantrel_io::filesize_unknown;
    total += stats.size;
  }
  if (size_known && std::int64_t(total) > 0)
    sink.add_row(group, 4.0, text_of(tracks.size() > 1 ? "properties_info_totalfilesize" : "properties_info_filesize"),
                 technical_info::file_size_text(total));

  std::uint64_t latest = 0;
  {
    track_info_lock hold;
    for (const track_handle_ptr& handle : tracks) latest = std::max(latest, handle->get_info_timestamp());
  }
  if (latest != 0) sink.add_row(group, 5.0, text_of("properties_info_lastmodified"), format_timestamp_text(latest));
}

void add_general_rows(const track_handle_list& tracks, const info_cache& infos, info_row_sink& sink) {
  const std::string group = text_of("properties_group_general");
  double total_length = 0.0;
  for (const track_handle_ptr& handle : tracks) {
    const double length = track_length(handle, infos);
    if (length > 0.0) total_length += length;
  }
  std::string rate;
  const bool common_rate = common_tech_value(tracks, infos, "samplerate", rate);
  if (total_length > 0.0) {
    std::string text = qiv::format_time_ex(total_length, 3).get_ptr();
    const long long rate_value = common_rate ? std::strtoll(rate.c_str(), nullptr, 10) : 0;
    if (rate_value > 0 && rate_value < 0x80000000LL) {
      localized_values values;
      const std::string samples = std::to_string(audio_math::time_to_samples(total_length, std::uint32_t(rate_value)));
      values.find_or_add(qiv::string_small("samples"), qiv::string_small(samples.c_str()));
      qiv::string_buffer suffix;
      if (localized_text_format("properties_info_duration_samples_suffix", values, suffix))
        text = text + " " + suffix.get_ptr();
    }
    sink.add_row(group, 0.0, text_of("properties_info_duration"), text);
  }

  std::string format;
  const auto add = [&format](const std::string& component) {
    if (!format.empty()) format += " / ";
    format += component;
  };
  std::string text;
  if (tally_values(tracks, infos, codec_text, nullptr, text)) add(text);
  if (tally_tech(tracks, infos, "encoding", text)) add(text);
  if (common_tech_value(tracks, infos, "bitrate", text)) {
    add(text + " kbps");
  } else if (const std::uint64_t average = average_bitrate(tracks, infos)) {
    add("~" + std::to_string(average) + " kbps");
  }
  if (tally_tech(tracks, infos, "channels", text)) add(text == "1" ? "mono" : text == "2" ? "stereo" : text + " ch");
  if (tally_values(tracks, infos, samplerate_text, nullptr, text)) add(text);
  if (tally_tech(tracks, infos, "bitspersample", text)) add(text + "-bit");
  if (common_tech_value(tracks, infos, "cue_embedded", text) && qiv::compare_nocase(text.c_str(), "yes") == 0)
    add("CUE");
  if (tally_tech(tracks, infos, "tagtype", text)) add(text);
  sink.add_row(group, 1.0, text_of("properties_info_format"), format);

  if (tally_tech(tracks, infos, "tool", text)) sink.add_row(group, 8.0, text_of("properties_info_tool"), text);
  if (common_tech_value(tracks, infos, "subsong_md5", text) || common_tech_value(tracks, infos, "md5", text))
    sink.add_row(group, 12.0, "MD5", text);
}

replaygain_info merged_replaygain(const track_handle_list& tracks, const info_cache& infos) {
  replaygain_info merged;
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const info_cache::entry* found = infos.find(tracks[i].get());
    if (found == nullptr) return replaygain_info();
    const replaygain_info record = found->info.get_replaygain();
    if (i == 0) {
      merged = record;
      continue;
    }
    if (record.album_gain != merged.album_gain) merged.album_gain = replaygain_info::gain_absent;
    if (record.track_gain != merged.track_gain) merged.track_gain = replaygain_info::gain_absent;
    if (record.album_peak != merged.album_peak) merged.album_peak = replaygain_info::peak_absent;
    if (record.track_peak != merged.track_peak) merged.track_peak = replaygain_info::peak_absent;
  }
  return merged;
}

void add_replaygain_rows(const track_handle_list& tracks, const info_cache& infos, info_row_sink& sink) {
  const std::string group = text_of("properties_group_replaygain");
  const replaygain_info merged = merged_replaygain(tracks, infos);
  std::string text;
  if (replaygain_format_gain(text, merged.track_gain))
    sink.add_row(group, 0.0, text_of("properties_info_replaygain_track"), text);
  if (replaygain_format_gain(text, merged.album_gain))
    sink.add_row(group, 2.0, text_of("properties_info_replaygain_album"), text);
}

class technical_info_provider : public properties_info_provider {
public:
  void list_rows(const track_handle_list& tracks, const info_cache& infos, info_row_sink& sink) override {
    add_location_rows(tracks, infos, sink);
    add_general_rows(tracks, infos, sink);
    add_replaygain_rows(tracks, infos, sink);
  }

  bool claims_field(const char* name) override {
    static constexpr const char* claimed[] = {"bitrate",  "codec",    "codec_profile", "tool",
                                              "encoding", "samplerate", "channels",    "bitspersample",
                                              "tagtype",  "cue_embedded", "md5"};
    return std::any_of(std::begin(claimed), std::end(claimed),
                       [name](const char* field) { return qiv::compare_nocase(name, field) == 0; });
  }
};

service_factory_single_t<technical_info_provider> technical_info_provider_registration;

}  // namespace
