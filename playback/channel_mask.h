// WAVE speaker masks: which loudspeakers the interleaved channels of a block
// feed, in the bit assignment of WAVEFORMATEXTENSIBLE (0x1 front left,
// 0x2 front right, 0x4 front centre, 0x8 low frequency, ...).
#pragma once

#include <bit>
#include <cstdint>

// Only the 18 speaker bits the format defines (0x1 to 0x20000) mean anything;
// devices refuse the rest.
inline constexpr std::uint32_t speaker_bits = 0x3FFFF;

// The usual layout for a channel count; 0 for 9 channels and more. Three
// channels are left, right and low frequency, not a centre channel.
constexpr std::uint32_t default_channel_mask(std::uint32_t channels) noexcept {
  constexpr std::uint32_t masks[] = {0x0, 0x4, 0x3, 0xB, 0x33, 0x3B, 0x3F, 0xFB, 0xFF};
  return channels < 9 ? masks[channels] : 0;
}

constexpr std::uint32_t channel_count_of_mask(std::uint32_t mask) noexcept {
  return static_cast<std::uint32_t>(std::popcount(mask));
}

// A block's channel configuration uses the speaker bits unchanged; the
// conversions only drop bits that name no speaker.
constexpr std::uint32_t channel_config_from_mask(std::uint32_t mask) noexcept { return mask & speaker_bits; }
constexpr std::uint32_t channel_config_to_mask(std::uint32_t config) noexcept { return config & speaker_bits; }

// A declared mask when it names exactly one speaker per channel, else the
// usual layout for the count (files often carry a zero or made-up mask).
constexpr std::uint32_t channel_mask_or_default(std::uint32_t declared, std::uint32_t channels) noexcept {
  const std::uint32_t mask = declared & speaker_bits;
  return channel_count_of_mask(mask) == channels ? mask : default_channel_mask(channels);
}
