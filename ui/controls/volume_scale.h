// The volume slider's scale: position 0 (top, loudest, 0 dB) to 100
// (bottom, silent, -100 dB), logarithmic in between so that the middle is
// -10 dB.
#pragma once

#include <cstdint>

namespace volume_scale {
inline constexpr std::uint32_t top = 0;
inline constexpr std::uint32_t bottom = 100;
inline constexpr float silent_db = -100.0f;

float decibels_of_position(std::uint32_t position) noexcept;
// Volumes above 0 dB show at the top; -100 dB and anything not a number at
// the bottom.
std::uint32_t position_of_decibels(float decibels) noexcept;
}  // namespace volume_scale
