// A run of interleaved float frames that the output passes between its
// stages without copying: the samples stay where their owner keeps them.
#pragma once

#include <cstdint>

struct audio_chunk_view {
  const float* data = nullptr;
  std::uint32_t frames = 0;
  std::uint32_t channels = 0;
  std::uint32_t sample_rate = 0;
  std::uint32_t channel_mask = 0;
};
