// What the MP4 library knows of one file after mp4_open_file: where its
// movie box lies, its tracks, its tags and chapters, and the songs it plays
// as (one per chapter, or the whole file).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "inputs/mp4/item_list.h"
#include "inputs/mp4/mp4_track.h"
#include "inputs/mp4/tag_fields.h"
#include "inputs/mp4/tags_box.h"

namespace tarnex {

// Bits of the open options.
enum open_option : std::uint32_t {
  option_decoding_tables = 0x01,
  option_read_tags = 0x02,
  option_read_pictures = 0x08,
  option_audio_tracks = 0x10,
  option_video_tracks = 0x20,
  option_keep_unparsed_items = 0x40,
};

// The defaults a movie-extends box gives the fragments of one track.
struct fragment_defaults {
  std::uint32_t track_id = 0;
  std::uint32_t description_index = 0;
  std::uint32_t duration = 0;
  std::uint32_t size = 0;
  std::uint32_t flags = 0;
};

// The samples that the movie fragments give one track, in file order: the
// runs of consecutive samples and each sample's size and duration.
struct fragment_samples {
  struct run {
    std::uint64_t data_offset;
    std::uint32_t sample_count;
  };
  std::vector<run> runs;
  std::vector<std::uint32_t> sizes;
  std::vector<std::uint32_t> durations;
};

struct chapter {
  std::uint64_t start = 0;  // 100-nanosecond units
  std::string name;
};

// The index points of one chapter, as a cue sheet gives them.
struct index_map_entry {
  std::uint64_t value = 0;
  std::vector<std::uint64_t> points;
};

struct song {
  tag_fields metadata;
  std::int64_t start = 0;  // 100-nanosecond units
};

class mp4_file {
public:
  std::uint32_t options = 0;
  std::uint64_t moov_offset = 0;
  std::uint64_t moov_size = 0;
  std::uint32_t moov_header_size = 8;  // 16 with a 64-bit size
  std::uint64_t total_size = 0;  // of the top-level boxes read

  std::uint32_t movie_time_scale = 0;
  std::uint64_t movie_duration = 0;

  std::vector<track_ptr> tracks;  // in file order

  // Collected from the movie fragments; merged into the tracks and emptied
  // by the end of the open.
  std::map<std::uint32_t, fragment_samples> fragment_runs;  // by track ID
  std::vector<fragment_defaults> fragment_records;

  std::vector<song> songs;
  tag_fields file_metadata;
  std::int64_t end_time = 0;  // 100-nanosecond units
  // Where the played track's presentation starts in its media (after the
  // encoder's priming), 100-nanosecond units: chapter times count from here.
  std::int64_t presentation_start = 0;

  bool metadata_present = false;
  ilst_metadata item_list;
  // The item list's fields after an edit of a file with chapters as a
  // whole: what the rewrite stores there, whatever the chapters share.
  std::optional<tag_fields> edited_item_list;
  std::vector<chapter> chapters;
  std::vector<index_map_entry> index_map;
  bool tags_present = false;
  tags_content tags;
  // What the tag writer stores besides the songs' fields.
  std::vector<cover_picture> pictures;
  // Damage that was passed over while reading (tags skipped, the audio kept).
  std::vector<std::string> warnings;
  // Some of the tags or chapters could not be read: a rewrite would lose
  // them, so the file is not rewritten.
  bool tags_damaged = false;

  // Back to the state before any open.
  void clear();

  // Passes over damaged tags: one warning for the file, and no rewrite.
  void skip_damaged_tags();

  // The track an audio player plays: the first audio track in file order;
  // null when there is none. Its own edit list and times give the songs.
  track_ptr played_track() const;

  std::size_t song_count() const { return songs.size(); }
  // Seconds. A song ends where the next one starts (the last one where the
  // file ends), and never before its own start.
  double song_start(std::size_t i) const;
  double song_end(std::size_t i) const;
};

}  // namespace tarnex
