// Word wrap of multi-line edit controls. Wine's edit control lays out a
// wrapped line by measuring the rest of its paragraph again for every
// row, so one paragraph of a few hundred thousand characters takes minutes
// to show. And it keeps a line's pixel positions in 16 bits, so in a box
// that scrolls sideways the caret and the view never reach text past about
// 32,767 pixels. A box that would wrap such a line is therefore replaced by
// one that does not wrap, and the program wraps its lines itself at the
// box's width with soft breaks ("\r\r\n", the control's own mark of a
// wrapped row): each row is laid out once and stays narrow. The soft breaks
// are a view only: the texts read back through here never hold them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "foundation/string_object.h"

// Longer lines are not wrapped by the control: below it a wrapped line
// shows in well under a second.
constexpr std::size_t longest_wrapped_line = 16384;

// Whether `text` holds a line (between line breaks) over the limit.
bool too_long_to_wrap(std::string_view text) noexcept;

// Styles of a multi-line edit that does not wrap by itself.
constexpr DWORD unwrapped_edit_styles = ES_AUTOHSCROLL | WS_HSCROLL;

// An edit control cannot change its wrapping once made: `edit`, a word
// wrapping multi-line edit, is replaced by one that does not wrap, with
// its id, place, order, styles, font, text limit and focus; the old one is
// destroyed. Answers the new control, or `edit` unchanged when it does not
// wrap or no new one could be made.
HWND replace_with_unwrapped_edit(HWND edit);

// Wine's one-line edit loses the caret past about 32,767 pixels too: a text
// wider than this in the font of `font_source` needs a box of rows.
constexpr int widest_one_line_box = 30000;
bool too_wide_for_one_line_box(HWND font_source, std::string_view text);

// What a box of rows may hold: lines, or one line (a value of one line
// shown in rows), which takes neither a typed line break nor more than the
// first line of what is pasted, as a one-line edit does.
enum class edit_rows_hold { lines, one_line };

// Puts `text` (UTF-8) into `edit`. A multi-line edit that does not wrap by
// itself shows every line wider than the box in rows of the box's width,
// also for what is pasted later, unless the text holds a soft break of its
// own (which reading would then drop): such a text is shown as it is.
bool set_edit_text_utf8(HWND edit, const char* text, edit_rows_hold holds = edit_rows_hold::lines);

// The text of `edit` as the user edited it, without the soft breaks that
// set_edit_text_utf8 put there.
bool get_edit_text_utf8(HWND edit, qiv::string_object& output);

// `text` with every soft break taken out.
std::wstring without_soft_breaks(std::wstring_view text);

// `text` with a soft break after each row that `fitting(rest)` says how
// many leading characters of `rest` fill: the row ends after the spaces
// that follow the last word that fits, else after as many characters as
// fit (at least one, never inside a surrogate pair nor right after a
// carriage return). The text's own line breaks stay as they are.
std::wstring with_soft_breaks(std::wstring_view text,
                              const std::function<std::size_t(std::wstring_view rest)>& fitting);
