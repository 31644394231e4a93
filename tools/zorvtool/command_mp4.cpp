// zorvtool mp4 PATH [--samples TRACK]: opens PATH with the MP4 container
// library as the player's MP4 input does and prints what it found: the
// tracks, the songs with their ranges, and (with --samples) the offset, size
// and duration of every sample of one track, one line each, to compare with
// an independent reader.
#include <cstdio>
#include <string>

#include "core/abort_signal.h"
#include "inputs/mp4/mp4_open.h"
#include "inputs/mp4/mp4_stream_adapter.h"
#include "inputs/mp4/sample_iterator.h"
#include "inputs/mp4/track_parameters.h"
#include "io/path_schemes.h"
#include "metadata/track_info_json.h"
#include "tools/zorvtool/mp4_fields_json.h"
#include "tools/zorvtool/zorvtool_command.h"

namespace {

// The options the player's MP4 input reads files with: decoding tables,
// tags and audio tracks.
constexpr std::uint32_t reading_options = 0x13;

std::string number(std::uint64_t value) { return std::to_string(value); }

std::string seconds(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.7f", value);
  return text;
}

std::string tracks_json(const tarnex::mp4_file& file) {
  std::string out = "  \"tracks\": [";
  for (std::size_t i = 0; i < file.tracks.size(); ++i) {
    const tarnex::mp4_track& track = *file.tracks[i];
    const tarnex::track_parameters parameters = tarnex::get_track_parameters(track);
    out += i == 0 ? "\n" : ",\n";
    out += "    {\"index\": " + number(i) + ", \"id\": " + number(track.track_id) + ", \"kind\": " + number(track.kind) +
           ", \"time_scale\": " + number(parameters.time_scale) + ", \"sample_rate\": " + number(parameters.sample_rate) +
           ", \"channels\": " + number(parameters.channels) + ", \"bits_per_sample\": " +
           number(parameters.bits_per_sample) + ", \"sample_count\": " + number(parameters.sample_count) +
           ", \"media_duration\": " + number(parameters.media_duration) + ", \"start_delay\": " +
           number(parameters.start_delay) + ", \"average_bitrate\": " + number(parameters.average_bitrate) +
           ", \"decoder_setup_bytes\": " + number(track.decoder_setup.size()) + "}";
  }
  return out + (file.tracks.empty() ? "],\n" : "\n  ],\n");
}

std::string songs_json(const tarnex::mp4_file& file) {
  std::string out = "  \"songs\": [";
  for (std::size_t i = 0; i < file.song_count(); ++i) {
    out += i == 0 ? "\n" : ",\n";
    out += "    {\"start\": " + seconds(file.song_start(i)) + ", \"end\": " + seconds(file.song_end(i)) + ", \"fields\": ";
    append_mp4_fields_json(out, file.songs[i].metadata);
    out += "}";
  }
  return out + (file.songs.empty() ? "]\n" : "\n  ]\n");
}

void print_samples(const tarnex::mp4_file& file, std::size_t index) {
  if (index >= file.tracks.size()) throw std::runtime_error("no track " + number(index));
  const tarnex::track_ptr& track = file.tracks[index];
  if (track->sample_count == 0) return;
  tarnex::sample_iterator samples(track);
  samples.position(0);
  std::string out;
  do {
    const tarnex::sample_location where = samples.locate();
    out += number(where.file_offset) + " " + number(where.size) + " " + number(where.duration) + "\n";
    if (out.size() > 65536) {
      zorvtool::print(out);
      out.clear();
    }
  } while (samples.advance());
  zorvtool::print(out);
}

int run_mp4(const zorvtool::arguments& args) {
  const bool samples = args.size() == 3 && args[1] == "--samples" && !args[2].empty() &&
                       args[2].find_first_not_of("0123456789") == std::string::npos && args[2].size() < 9;
  if (args.size() != 1 && !samples) {
    zorvtool::print_error("usage: zorvtool mp4 PATH [--samples TRACK]\n");
    return 2;
  }
  raisable_abort_signal abort;
  vantrel_io::file_ptr file;
  vantrel_io::open(file, zorvtool::system_path(args[0]).c_str(), vantrel_io::open_mode::read, abort);
  tarnex::mp4_stream_adapter in(file, abort);
  tarnex::mp4_file model;
  tarnex::mp4_open_file(model, in, reading_options, file->can_seek(), tarnex::cut_file::keep_what_is_there);
  if (samples) {
    print_samples(model, std::stoul(args[2]));
    return 0;
  }
  zorvtool::print("{\n  \"movie_time_scale\": " + number(model.movie_time_scale) + ",\n  \"movie_duration\": " +
                  number(model.movie_duration) + ",\n" + tracks_json(model) + songs_json(model) + "}\n");
  return 0;
}

const zorvtool::command_registration registration(
    {"mp4", "mp4 PATH [--samples TRACK]  print the tracks, songs or samples the MP4 reader finds", run_mp4});

}  // namespace
