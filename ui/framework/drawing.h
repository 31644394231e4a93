// Drawing routines of the custom controls: colour mixing, vertical
// gradients and the push-button frame.
#pragma once

#include <windows.h>
#include <uxtheme.h>

// The colour half way between a and b (red in the low byte).
COLORREF mix_colors(COLORREF a, COLORREF b) noexcept;

// From the top colour at the top edge to the bottom colour at the bottom.
void gradient_fill_vertical(HDC dc, const RECT& rectangle, COLORREF top, COLORREF bottom) noexcept;

// a to b down to the split at `percent` of the height, then b back to a.
void gradient_fill_two_band(HDC dc, const RECT& rectangle, COLORREF a, COLORREF b, int percent) noexcept;

// A push button's frame: through the theme when one is given (the theme's
// part 3 with `state`), else the classic frame, pressed for state 3 and
// inactive for state 5.
void draw_button_frame(HTHEME theme, HDC dc, const RECT& rectangle, int state) noexcept;
