// Walking a track sample by sample: each sample's place in the file and in
// time. Advancing keeps running sums, so a pass over a whole track costs
// constant time per sample; only placing the iterator walks the tables.
#pragma once

#include <cstdint>

#include "inputs/mp4/mp4_track.h"

namespace tarnex {

struct sample_location {
  std::uint32_t duration = 0;
  std::uint32_t composition_offset = 0;
  std::uint64_t presentation_time = 0;  // decode time + composition offset
  std::uint32_t time_scale = 0;
  std::uint64_t file_offset = 0;
  std::uint32_t size = 0;
};

class sample_iterator {
public:
  explicit sample_iterator(track_ptr track) : track_(std::move(track)) {}

  // Places the iterator on sample n.
  void position(std::uint32_t n);
  // To the next sample; false (and unmoved) at the last one.
  bool advance();
  sample_location locate() const;

  std::uint32_t sample() const { return sample_; }
  std::uint64_t decode_time() const { return decode_time_; }

private:
  void find_chunk(std::uint32_t n);
  std::uint64_t bytes_before_in_chunk(std::uint32_t n) const;

  track_ptr track_;
  std::uint32_t sample_ = 0;
  // Index -1 when the table is missing or used up.
  std::int64_t composition_run_ = -1;
  std::uint32_t composition_position_ = 0;
  std::int64_t time_run_ = -1;
  std::uint32_t time_position_ = 0;
  std::uint64_t decode_time_ = 0;
  std::uint64_t offset_in_chunk_ = 0;
  std::uint64_t chunk_first_sample_ = 0;
  std::uint64_t chunk_ = 1;  // counted from 1
  std::int64_t chunk_entry_ = -1;  // of the sample-to-chunk table
  std::uint64_t entry_first_sample_ = 0;
};

// The sample playing at media time t and how far into it t lies;
// exception_out_of_range past the end of the track.
struct sample_at_time {
  std::uint32_t sample;
  std::uint64_t remainder;
};
sample_at_time sample_at_media_time(const mp4_track& track, std::uint64_t t);

}  // namespace tarnex
