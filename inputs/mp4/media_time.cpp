#include "inputs/mp4/media_time.h"

#include "inputs/mp4/tarnex_exceptions.h"

namespace tarnex {

std::uint64_t to_100ns(std::uint64_t value, std::uint32_t time_scale) {
  if (time_scale == 0) throw exception_invalid_timescale();
  constexpr std::uint64_t units_per_second = 10000000;
  // Whole seconds and the rest apart: the product of the whole value with
  // 10^7 would wrap for times beyond about 21 days at 10 MHz.
  const std::uint64_t seconds = value / time_scale;
  const std::uint64_t rest = value % time_scale;
  const std::uint64_t limit = ~std::uint64_t(0) >> 1;
  if (seconds > limit / units_per_second) return limit;
  return seconds * units_per_second + (rest * units_per_second + time_scale / 2) / time_scale;
}

}  // namespace tarnex
