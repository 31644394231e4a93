#include "ui/dialogs/replaygain_slider_scale.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace replaygain_slider_scale {

int position_of_decibels(float decibels) noexcept {
  if (std::isnan(decibels)) return zero_position;
  const double steps = std::floor(static_cast<double>(decibels) * 10.0 + 0.5);
  if (steps < -zero_position) return 0;
  if (steps > range_max - zero_position) return range_max;
  return static_cast<int>(steps) + zero_position;
}

float decibels_of_position(int position) noexcept { return static_cast<float>(position - zero_position) * 0.1f; }

std::string label_of_position(int position) {
  const int steps = position - zero_position;
  const char* sign = steps < 0 ? "-" : steps > 0 ? "+" : "\xC2\xB1";
  const unsigned magnitude = static_cast<unsigned>(std::abs(steps));
  char text[32];
  std::snprintf(text, sizeof(text), "%s%u.%udB", sign, magnitude / 10, magnitude % 10);
  return text;
}

}  // namespace replaygain_slider_scale
