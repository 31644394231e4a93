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

// Lets the parent paint its background under `window` into `dc` (in the
// window's client coordinates), so that a control draws over what the
// parent shows instead of a plain fill.
void paint_parent_background(HWND window, HDC dc) noexcept;

// One part of the window's visual style; without styles (the classic look,
// or a class the style lacks) the classic push-button frame with
// `classic_flags` (DFCS_PUSHED, DFCS_INACTIVE) instead.
void draw_theme_part(HWND window, HDC dc, const wchar_t* class_list, int part, int state, const RECT& rectangle,
                     UINT classic_flags) noexcept;
