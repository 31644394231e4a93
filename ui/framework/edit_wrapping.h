// Word wrap of multi-line edit controls. Wine's edit control lays out a
// wrapped line by measuring the rest of its paragraph again for every
// row, so one paragraph of a few hundred thousand characters takes minutes
// to show. A box that would wrap such a line scrolls sideways instead.
#pragma once

#include <windows.h>

#include <string_view>

// Longer lines are not wrapped: below it a wrapped line shows in well under
// a second.
constexpr std::size_t longest_wrapped_line = 16384;

// Whether `text` holds a line (between line breaks) over the limit.
bool too_long_to_wrap(std::string_view text) noexcept;

// Styles of a multi-line edit that shows long lines unwrapped.
constexpr DWORD unwrapped_edit_styles = ES_AUTOHSCROLL | WS_HSCROLL;

// An edit control cannot change its wrapping once made: `edit`, a word
// wrapping multi-line edit, is replaced by one that scrolls sideways, with
// its id, place, order, styles, font, text limit and focus; the old one is
// destroyed. Answers the new control, or `edit` unchanged when it does not
// wrap or no new one could be made.
HWND replace_with_unwrapped_edit(HWND edit);
