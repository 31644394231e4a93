// Conversions between seconds and sample counts. Counts and rates are
// unsigned: a count of 2^63 or more, or a rate of 2^31 or more, never turns
// negative on the way.
#pragma once

#include <cmath>
#include <cstdint>

namespace audio_math {

inline std::uint64_t time_to_samples(double seconds, std::uint32_t rate) {
  return static_cast<std::uint64_t>(std::floor(seconds * static_cast<double>(rate) + 0.5));
}

inline double samples_to_time(std::uint64_t samples, std::uint32_t rate) {
  return static_cast<double>(samples) / static_cast<double>(rate);
}

} // namespace audio_math
