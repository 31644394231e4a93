#include "inputs/mp4/track_parameters.h"

namespace tarnex {

std::uint32_t start_delay(const mp4_track& track) {
  if (track.kind != kind_aac) return 0;
  for (const auto& run : track.composition_offsets) {
    if (run.sample_count == 0) continue;
    std::uint32_t delay = run.offset;
    if (track.media_duration <= 0xFFFFFFFFu && delay > track.media_duration)
      delay = static_cast<std::uint32_t>(track.media_duration);
    return delay;
  }
  return 0;
}

track_parameters get_track_parameters(const mp4_track& track) {
  track_parameters out;
  out.sample_rate = track.sample_rate;
  out.channels = track.channels;
  out.bits_per_sample = track.bits_per_sample;
  out.time_scale = track.time_scale;
  out.sample_count = track.sample_count;
  out.max_bitrate = track.max_bitrate;
  out.start_delay = start_delay(track);
  out.video_width = track.video_width;
  out.video_height = track.video_height;
  out.media_duration = track.media_duration;
  if (track.media_duration == 0 || track.media_duration == duration_not_given) {
    out.average_bitrate = track.average_bitrate;
  } else if (track.sample_count != 0) {
    double bytes = 0;
    if (track.fixed_sample_size != 0)
      bytes = double(track.fixed_sample_size) * track.sample_count;
    else
      for (std::uint32_t size : track.sample_sizes) bytes += size;
    const double bitrate = bytes * 8 * track.time_scale / double(track.media_duration);
    out.average_bitrate = bitrate < 4294967295.0 ? static_cast<std::uint32_t>(bitrate) : 0xFFFFFFFFu;
  }
  return out;
}

}  // namespace tarnex
