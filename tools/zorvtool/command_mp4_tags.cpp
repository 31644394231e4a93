// zorvtool mp4-tags PATH [--check] [name=value ...] [-name ...] [--cover=FILE]
// [--no-cover]: the MP4 library's item list as the player reads it (fields,
// front cover, items kept unparsed) and, given changes, a retag through the
// library's own writer, printing the layout check's findings. A repeated
// name=value adds a value; the first one replaces the values held.
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/file_check.h"
#include "inputs/mp4/movie_box_write.h"
#include "inputs/mp4/mp4_open.h"
#include "inputs/mp4/mp4_stream_adapter.h"
#include "inputs/mp4/tag_writing.h"
#include "io/path_schemes.h"
#include "tools/zorvtool/mp4_fields_json.h"
#include "tools/zorvtool/zorvtool_command.h"

namespace {

// What the player's input reads for tagging: decoding tables, tags,
// pictures, audio tracks and the items it does not map.
constexpr std::uint32_t tagging_options = tarnex::option_decoding_tables | tarnex::option_read_tags |
                                          tarnex::option_read_pictures | tarnex::option_audio_tracks |
                                          tarnex::option_keep_unparsed_items;

std::string key_text(std::uint32_t key) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const unsigned char c = static_cast<unsigned char>(key >> shift);
    if (c >= 0x20 && c < 0x7F) {
      text += char(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      text += escaped;
    }
  }
  return text;
}

std::string item_list_json(const tarnex::ilst_metadata& items) {
  std::string out = "{\n  \"fields\": ";
  append_mp4_fields_json(out, items.fields, ",\n    ");
  out += ",\n";
  out += "  \"front_cover_bytes\": " + (items.front_cover ? std::to_string(items.front_cover->bytes.size()) : "null");
  out += ",\n  \"raw_items\": [";
  for (std::size_t i = 0; i < items.raw_items.size(); ++i) {
    if (i != 0) out += ", ";
    append_json_string(out, key_text(items.raw_items[i].key).c_str());
  }
  return out + "]\n}\n";
}

std::string read_whole_file(const std::string& path, const abort_signal& abort) {
  vantrel_io::file_ptr file;
  vantrel_io::open(file, zorvtool::system_path(path).c_str(), vantrel_io::open_mode::read, abort);
  tarnex::mp4_stream_adapter in(file, abort);
  return tarnex::read_sized_text(in, in.size());
}

struct retag_request {
  std::map<std::string, std::vector<std::string>> set;  // name -> values
  std::vector<std::string> removed;
  bool change_cover = false;
  std::string cover;  // empty: no cover
};

retag_request parse_request(const zorvtool::arguments& args, std::size_t from, const abort_signal& abort) {
  retag_request request;
  for (std::size_t i = from; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--cover=", 0) == 0) {
      request.change_cover = true;
      request.cover = read_whole_file(arg.substr(8), abort);
    } else if (arg == "--no-cover") {
      request.change_cover = true;
      request.cover.clear();
    } else if (arg.size() > 1 && arg[0] == '-') {
      request.removed.push_back(arg.substr(1));
    } else {
      const std::size_t equals = arg.find('=');
      if (equals == std::string::npos || equals == 0)
        throw std::runtime_error("expected name=value, -name, --cover=FILE or --no-cover, got \"" + arg + "\"");
      request.set[arg.substr(0, equals)].push_back(arg.substr(equals + 1));
    }
  }
  return request;
}

bool same_pictures(const std::vector<tarnex::cover_picture>& a, const std::vector<tarnex::cover_picture>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return x.kind == y.kind && x.index == y.index && x.bytes == y.bytes;
  });
}

// Applies the request; false when it changes no value and no picture.
bool apply(const retag_request& request, tarnex::mp4_file& file) {
  std::vector<tarnex::tag_fields> fields_before;
  for (const tarnex::song& song : file.songs) fields_before.push_back(song.metadata);
  for (tarnex::song& song : file.songs) {
    for (const std::string& name : request.removed) song.metadata.remove(name);
    for (const auto& [name, values] : request.set) {
      song.metadata.remove(name);
      for (const std::string& value : values) song.metadata.add(name, value);
    }
  }
  file.pictures.clear();
  if (file.tags_present && !file.tags.pictures.empty())
    file.pictures = file.tags.pictures;
  else if (file.item_list.front_cover)
    file.pictures.push_back(*file.item_list.front_cover);
  const std::vector<tarnex::cover_picture> pictures_before = file.pictures;
  if (request.change_cover) {
    std::erase_if(file.pictures, [](const tarnex::cover_picture& picture) {
      return tarnex::equals_ascii_nocase(picture.kind, "front cover") && picture.index == 0;
    });
    if (!request.cover.empty()) {
      tarnex::cover_picture picture;
      picture.bytes = request.cover;
      file.pictures.insert(file.pictures.begin(), std::move(picture));
    }
  }
  bool changed = !same_pictures(file.pictures, pictures_before);
  for (std::size_t i = 0; i < file.songs.size(); ++i)
    if (!tarnex::same_values(file.songs[i].metadata, fields_before[i])) changed = true;
  return changed;
}

int run_mp4_tags(const zorvtool::arguments& args) {
  if (args.empty()) {
    zorvtool::print_error("usage: zorvtool mp4-tags PATH [--check] [name=value ...] [-name ...] [--cover=FILE] [--no-cover]\n");
    return 2;
  }
  raisable_abort_signal abort;
  const bool check_only = args.size() == 2 && args[1] == "--check";
  const bool retag = args.size() > 1 && !check_only;
  const retag_request request = retag ? parse_request(args, 1, abort) : retag_request();

  vantrel_io::file_ptr file;
  const std::string path = zorvtool::system_path(args[0]);
  vantrel_io::open(file, path.c_str(), retag ? vantrel_io::open_mode::write_existing : vantrel_io::open_mode::read,
                   abort);
  std::optional<tarnex::mp4_stream_adapter> reading(std::in_place, file, abort);
  tarnex::mp4_stream_adapter& io = *reading;
  if (check_only) {
    for (const std::string& report : tarnex::check_file_layout(io).reports) zorvtool::print(report + "\n");
    return 0;
  }
  tarnex::mp4_file model;
  // Read as the player reads; a file cut inside its media is never written.
  tarnex::mp4_open_file(model, io, tagging_options, true,
                        retag ? tarnex::cut_file::refuse : tarnex::cut_file::keep_what_is_there);
  for (const std::string& warning : model.warnings) zorvtool::print_error("warning: " + warning + "\n");
  if (!retag) {
    zorvtool::print(item_list_json(model.item_list));
    return 0;
  }
  const bool changed = apply(request, model);
  std::vector<std::string> reports;
  // Built also for an edit that changes nothing: a file whose layout refuses
  // every write says so.
  tarnex::movie_box_rewrite rewrite(model, io, tarnex::choose_write_mode(model), reports,
                                    changed ? tarnex::values_edit::changed : tarnex::values_edit::unchanged);
  if (!changed && !rewrite.mends_stopped_write()) {
    for (const std::string& report : reports) zorvtool::print(report + "\n");
    return 0;
  }
  // As the player writes: in place where that is safe, else through a copy,
  // which the file's only holder may replace.
  reading.reset();
  tarnex::write_movie_box(rewrite, file, path.c_str(), abort);
  for (const std::string& report : reports) zorvtool::print(report + "\n");
  return 0;
}

const zorvtool::command_registration registration(
    {"mp4-tags", "mp4-tags PATH [--check] [name=value ...] [-name ...] [--cover=FILE] [--no-cover]  read, check or "
                 "retag an MP4 file's item list with the player's MP4 library",
     run_mp4_tags});

}  // namespace
