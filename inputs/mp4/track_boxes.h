// The readers of the boxes that describe a track and the movie: headers,
// sample description, sample tables and the boxes of movie fragments. Each
// takes the bounded reader of its box.
#pragma once

#include <cstdint>

#include "inputs/mp4/mp4_atom_reader.h"
#include "inputs/mp4/mp4_file.h"
#include "inputs/mp4/mp4_track.h"

namespace tarnex {

void read_movie_header(mp4_atom_reader& in, mp4_file& file);
void read_media_header(mp4_atom_reader& in, mp4_track& track);
void read_track_header(mp4_atom_reader& in, mp4_track& track);
// "elst": keeps the track's first edit that shows media.
void read_edit_list(mp4_atom_reader& in, mp4_track& track);

void read_sample_description(mp4_atom_reader& in, std::uint32_t options, mp4_track& track);
// Parses an "esds" payload held in memory (after its version and flags).
void parse_esds(const std::uint8_t* data, std::size_t size, mp4_track& track);

// The sample tables: type is one of stts, ctts, stss, stsz, stsc, stco, co64.
void read_sample_table(std::uint32_t type, mp4_atom_reader& in, std::uint32_t options, mp4_track& track);
// The track holds the samples its size table gives sizes for, and no
// others: its time-to-sample runs end with them. For a table cut short.
void keep_sized_samples(mp4_track& track);

// The state the fragment boxes share while the movie fragments are read.
struct fragment_context {
  std::uint64_t file_size = 0;  // unknown_size for streams without a length
  // Samples of runs that carry no fields of their own, in all fragments.
  std::uint64_t samples_without_fields = 0;
  // Of the current movie fragment:
  std::uint64_t moof_offset = 0;
  bool has_previous_run = false;
  std::uint64_t next_data_offset = 0;  // where the previous run's data ended
  // Of the current track fragment:
  bool header_seen = false;
  fragment_defaults defaults;
  std::uint64_t base_offset = 0;  // what run data offsets count from
  std::uint64_t run_end = 0;  // a run without a data offset starts here
};

void read_track_extends(mp4_atom_reader& in, mp4_file& file);
void read_fragment_header(mp4_atom_reader& in, const mp4_file& file, fragment_context& context);
void read_track_run(mp4_atom_reader& in, mp4_file& file, fragment_context& context);

}  // namespace tarnex
