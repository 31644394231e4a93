// The font and text messages every custom control answers the same way.
#pragma once

#include <windows.h>

namespace control_font_messages {

// WM_SETFONT stores the font (repainting when asked), WM_GETFONT answers it,
// WM_SETTEXT stores the text through the default procedure and repaints.
// False for every other message.
bool process(HWND window, UINT message, WPARAM wparam, LPARAM lparam, HFONT& font, LRESULT& result);

}  // namespace control_font_messages
