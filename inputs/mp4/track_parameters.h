// What the MP4 input reads of a track to describe and decode it.
#pragma once

#include <cstdint>

#include "inputs/mp4/mp4_track.h"

namespace tarnex {

struct track_parameters {
  std::uint32_t sample_rate = 0;
  std::uint32_t channels = 0;
  std::uint32_t average_bitrate = 0;  // bits per second
  std::uint32_t bits_per_sample = 0;
  std::uint32_t time_scale = 0;
  std::uint32_t sample_count = 0;
  std::uint32_t max_bitrate = 0;
  std::uint32_t start_delay = 0;  // media units
  std::uint32_t video_width = 0;
  std::uint32_t video_height = 0;
  std::uint64_t media_duration = duration_not_given;
};

// The encoder delay an AAC track declares through its first composition
// offset; 0 for other tracks.
std::uint32_t start_delay(const mp4_track& track);

track_parameters get_track_parameters(const mp4_track& track);

}  // namespace tarnex
