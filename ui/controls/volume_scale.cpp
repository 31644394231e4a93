#include "ui/controls/volume_scale.h"

#include <cmath>

namespace volume_scale {

float decibels_of_position(std::uint32_t position) noexcept {
  const double x = 1.0 - position * 0.01;
  if (!(x > 0.0)) return silent_db;
  const float decibels = static_cast<float>(10.0 * std::log2(x));
  return decibels < silent_db ? silent_db : decibels;
}

std::uint32_t position_of_decibels(float decibels) noexcept {
  float y = std::exp2(decibels * 0.1f);
  if (!(y >= 0.0f)) y = 0.0f;  // NaN too
  if (y > 1.0f) y = 1.0f;
  return static_cast<std::uint32_t>(std::floor((1.0f - y) * 100.0f + 0.5f));
}

}  // namespace volume_scale
