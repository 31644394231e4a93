// The separator control: a label followed by an etched line at mid-height,
// dividing the sections of a dialog; a window class of its own
// ("vantrel:separator") so that dialog templates can name it. Start-up
// registers it before any dialog is made.
#pragma once

#include <windows.h>

namespace separator_control {

inline constexpr wchar_t class_name[] = L"vantrel:separator";

// Registers the class; called by start-up. Later calls find it registered
// and do nothing. A failure throws exception_win32. The class lives until the process ends.
void register_class();

// Paints the control on WM_PAINT: the text (cut with an ellipsis when it
// does not fit), then the line from after the text to the right edge when
// room is left.
void paint(HWND window);

// The font the control was given with WM_SETFONT; null until then.
HFONT get_font(HWND window) noexcept;

} // namespace separator_control
