// The preamp sliders of the ReplayGain panel: 0.1 dB steps from -20.0 dB
// (position 0) to +20.0 dB (position 400).
#pragma once

#include <string>

namespace replaygain_slider_scale {

inline constexpr int range_max = 400;
inline constexpr int zero_position = 200;

// Rounded to the nearest step and clamped to the range; a value that is not
// a number shows at 0 dB.
int position_of_decibels(float decibels) noexcept;
float decibels_of_position(int position) noexcept;
// "+1.5dB", "-20.0dB", and "±0.0dB" at 0 dB (UTF-8).
std::string label_of_position(int position);

}  // namespace replaygain_slider_scale
