#pragma once

#include <cstdint>

namespace tarnex {

// A time in units of `time_scale` per second as 100-nanosecond units,
// rounded to nearest; time scale 0 is exception_invalid_timescale. Exact
// where the result fits; beyond that it saturates instead of wrapping.
std::uint64_t to_100ns(std::uint64_t value, std::uint32_t time_scale);

}  // namespace tarnex
