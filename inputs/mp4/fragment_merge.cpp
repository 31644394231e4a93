#include "inputs/mp4/fragment_merge.h"

#include "inputs/mp4/tarnex_exceptions.h"

namespace tarnex {

namespace {

void append_samples(mp4_track& track, fragment_samples& added) {
  // The movie box may already hold the first samples (a fragmented file
  // that is not "empty moov"): the fragments continue them.
  const std::uint64_t total = std::uint64_t(track.sample_count) + added.sizes.size();
  if (total > 0xFFFFFFFFu) throw exception("invalid trun data");

  std::uint32_t common_size = track.sample_count == 0 ? added.sizes.front() : track.fixed_sample_size;
  bool all_same = common_size != 0;
  for (std::uint32_t size : added.sizes)
    if (size != common_size) all_same = false;
  if (all_same) {
    track.fixed_sample_size = common_size;
    track.sample_sizes.clear();
  } else {
    if (track.fixed_sample_size != 0) {
      track.sample_sizes.assign(track.sample_count, track.fixed_sample_size);
      track.fixed_sample_size = 0;
    }
    if (track.sample_count == 0) {
      track.sample_sizes = std::move(added.sizes);  // a film's worth: moved, not copied
      track.sample_sizes.shrink_to_fit();  // memory in proportion to the samples, not to growth
    } else {
      track.sample_sizes.resize(track.sample_count);
      track.sample_sizes.insert(track.sample_sizes.end(), added.sizes.begin(), added.sizes.end());
    }
  }

  std::uint64_t duration = 0;
  for (const auto& run : track.time_to_sample) duration += std::uint64_t(run.sample_count) * run.duration;
  for (std::uint32_t sample_duration : added.durations) {
    auto& runs = track.time_to_sample;
    if (!runs.empty() && runs.back().duration == sample_duration && runs.back().sample_count != 0xFFFFFFFFu)
      ++runs.back().sample_count;
    else
      runs.push_back({1, sample_duration});
    duration += sample_duration;
  }

  // One chunk per run, after the chunks of the movie box's own samples.
  if (track.sample_count == 0) {
    track.chunk_offsets.clear();
    track.sample_to_chunk.clear();
  }
  for (const auto& run : added.runs) {
    track.chunk_offsets.push_back(run.data_offset);
    track.sample_to_chunk.push_back({static_cast<std::uint32_t>(track.chunk_offsets.size()), run.sample_count, 1});
  }
  track.sample_count = static_cast<std::uint32_t>(total);
  track.has_time_to_sample = true;
  // The media header of a fragmented file describes the movie box's samples
  // only (none at all in an "empty moov" file).
  if (track.media_duration == duration_not_given || track.media_duration < duration) track.media_duration = duration;
}

}  // namespace

void merge_fragments(mp4_file& file) {
  if (!file.fragment_runs.empty()) {
    for (std::size_t i = 0; i < file.tracks.size(); ++i) {
      mp4_track& track = *file.tracks[i];
      // Files without a track header are keyed by their place in the list.
      const std::uint32_t id = track.track_id != 0 ? track.track_id : static_cast<std::uint32_t>(i + 1);
      const auto found = file.fragment_runs.find(id);
      if (found == file.fragment_runs.end() || found->second.sizes.empty()) continue;
      append_samples(track, found->second);
      // The movie lasts at least as long as its longest track.
      if (file.movie_time_scale != 0 && track.time_scale != 0) {
        const double seconds = double(track.media_duration) / track.time_scale;
        const std::uint64_t movie = static_cast<std::uint64_t>(seconds * file.movie_time_scale + 0.5);
        if (movie > file.movie_duration) file.movie_duration = movie;
      }
    }
  }
  file.fragment_runs.clear();
  file.fragment_records.clear();
}

}  // namespace tarnex
