// Vorbis streams (and Opus streams of mapping family 1) order their channels
// differently from WAVEFORMATEXTENSIBLE; these tables map between the two.
#pragma once

#include <cstdint>

// The Vorbis decoder plays up to 6 channels; Opus streams reach 8.
inline constexpr std::uint32_t vorbis_max_channels = 6;

// Output channel i takes stream channel vorbis_channel_order(count)[i], for
// 1 to 8 channels.
inline const std::uint8_t* vorbis_channel_order(std::uint32_t channels) {
  static constexpr std::uint8_t orders[8][8] = {{0},
                                                {0, 1},
                                                {0, 2, 1},
                                                {0, 1, 2, 3},
                                                {0, 2, 1, 3, 4},
                                                {0, 2, 1, 5, 3, 4},
                                                {0, 2, 1, 6, 5, 3, 4},
                                                {0, 2, 1, 7, 5, 6, 3, 4}};
  return orders[channels - 1];
}

// The speaker mask of a stream in that order, for 1 to 8 channels; 0 beyond.
inline std::uint32_t vorbis_channel_mask(std::uint32_t channels) {
  static constexpr std::uint32_t masks[8] = {0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x70F, 0x63F};
  return channels >= 1 && channels <= 8 ? masks[channels - 1] : 0;
}
