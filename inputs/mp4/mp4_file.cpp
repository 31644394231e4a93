#include "inputs/mp4/mp4_file.h"

#include "inputs/mp4/tarnex_exceptions.h"
#include "inputs/mp4/user_data_boxes.h"

namespace tarnex {

void mp4_file::clear() { *this = mp4_file(); }

void mp4_file::skip_damaged_tags() {
  if (!tags_damaged) warnings.push_back(damaged_tags_warning);
  tags_damaged = true;
}

track_ptr mp4_file::played_track() const {
  for (const track_ptr& track : tracks)
    if (is_audio_kind(track->kind)) return track;
  return track_ptr();
}

double mp4_file::song_start(std::size_t i) const {
  if (i >= songs.size()) throw exception_out_of_range();
  return double(songs[i].start) * 1e-7;
}

double mp4_file::song_end(std::size_t i) const {
  if (i >= songs.size()) throw exception_out_of_range();
  const std::int64_t start = songs[i].start;
  std::int64_t end = i + 1 < songs.size() ? songs[i + 1].start : end_time;
  // Chapters out of order, or a chapter past the end of the audio, give
  // an empty song rather than a negative length.
  if (end < start) end = start;
  return double(end) * 1e-7;
}

}  // namespace tarnex
