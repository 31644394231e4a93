#include "ui/framework/autoscroll_speed.h"

#include <cmath>

autoscroll_velocity autoscroll_pixels_per_tick(int dx, int dy, int dpi) noexcept {
  if (dpi < 1 || (dx == 0 && dy == 0)) return {};
  const double scale = 96.0 / dpi;
  const double ox = dx * scale, oy = dy * scale;
  const double distance = std::sqrt(ox * ox + oy * oy);
  const double speed = std::pow(distance * 0.6 * 0.05, 2);
  autoscroll_velocity v;
  if (dx == 0) {
    v.y = speed;
  } else if (dy == 0) {
    v.x = speed;
  } else {
    // In floating point: an integer ratio would send a pointer at (30, 40)
    // straight down.
    const double k = static_cast<double>(dx) / dy;
    v.y = std::sqrt(speed * speed / (k * k + 1));
    v.x = std::fabs(k) * v.y;
  }
  v.x = dx < 0 ? -v.x : v.x;
  v.y = dy < 0 ? -v.y : v.y;
  v.x /= scale;
  v.y /= scale;
  return v;
}

int take_whole_pixels(double exact, double& carry) noexcept {
  const double value = exact + carry;
  const double step = std::floor(value + 0.5);
  carry = value - step;
  return static_cast<int>(step);
}

int take_whole_lines(int pixels, int unit, int& rest) noexcept {
  if (unit == 0) return 0;
  const int total = pixels + rest;
  const int lines = total / unit;
  rest = total - lines * unit;
  return lines;
}
