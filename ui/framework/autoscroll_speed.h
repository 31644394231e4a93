// How fast middle-button autoscroll moves: with the distance of the pointer
// from the origin, squared, along the pointer's direction. Shared by the
// system list views and the owner-drawn list.
#pragma once

struct autoscroll_velocity {
  double x = 0.0;
  double y = 0.0;
};

// Pixels per tick (15 ms) for a pointer (dx, dy) pixels from the origin on a
// screen of `dpi`: at 96 DPI, 100 pixels give 9 and 200 give 36. The
// direction is split in floating point, so a diagonal pointer moves
// diagonally. Zero at the origin or for a DPI below 1.
autoscroll_velocity autoscroll_pixels_per_tick(int dx, int dy, int dpi) noexcept;

// The whole pixels to move now out of `exact` plus what was carried; the
// fraction left over is carried to the next tick, so slow speeds still move.
int take_whole_pixels(double exact, double& carry) noexcept;

// Whole scroll lines of `unit` pixels out of `pixels` plus what was left
// before; the rest stays in `rest`. A zero unit gives no lines.
int take_whole_lines(int pixels, int unit, int& rest) noexcept;
