// The separator control: the thin divider line of the user interface's
// windows, a window class of its own ("vantrel:separator") so that dialog
// templates can name it.
#pragma once

#include <windows.h>

namespace separator_control {

inline constexpr wchar_t class_name[] = L"vantrel:separator";

// Registers the class; called once by start-up. A failure throws
// exception_win32. The class lives until the process ends.
void register_class();

// Paints the control on WM_PAINT.
void paint(HWND window);

// The font the control was given with WM_SETFONT; null until then.
HFONT get_font(HWND window) noexcept;

} // namespace separator_control
