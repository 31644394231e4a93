// The movie, media and track headers: time scales, durations, track IDs.
#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/tarnex_exceptions.h"
#include "inputs/mp4/track_boxes.h"

namespace tarnex {

void read_movie_header(mp4_atom_reader& in, mp4_file& file) {
  const std::uint8_t version = read_u8(in);
  in.skip_exact(3);
  if (version == 0) {
    in.skip_exact(8);
    file.movie_time_scale = read_u32(in);
    file.movie_duration = read_u32(in);
  } else if (version == 1) {
    in.skip_exact(16);
    file.movie_time_scale = read_u32(in);
    file.movie_duration = read_u64(in);
  } else {
    throw exception("unknown mvhd version");
  }
}

void read_media_header(mp4_atom_reader& in, mp4_track& track) {
  const std::uint8_t version = read_u8(in);
  in.skip_exact(3);
  std::uint32_t time_scale;
  if (version == 0) {
    in.skip_exact(8);
    time_scale = read_u32(in);
    const std::uint32_t duration = read_u32(in);
    track.media_duration = duration == 0xFFFFFFFFu ? duration_not_given : duration;
  } else if (version == 1) {
    in.skip_exact(16);
    time_scale = read_u32(in);
    track.media_duration = read_u64(in);
  } else {
    throw exception("unknown mdhd version");
  }
  if (time_scale == 0) throw exception_invalid_timescale();
  track.time_scale = time_scale;
  in.skip_exact(4);  // language and a reserved word
}

void read_track_header(mp4_atom_reader& in, mp4_track& track) {
  const std::uint8_t version = read_u8(in);
  in.skip_exact(3);
  if (version > 1) return;  // an unknown layout: the track keeps no ID
  in.skip_exact(version == 0 ? 8 : 16);
  track.track_id = read_u32(in);
}

}  // namespace tarnex
