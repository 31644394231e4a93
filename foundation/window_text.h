// Texts of windows, dialog controls and menus in UTF-8. As with the other
// wrappers, failures are reported by the result and leave the output as it
// was.
#pragma once

#include <windows.h>

#include "foundation/string_object.h"

// SendMessageW with the text (or resource id) as lparam; a null text sends 0.
LRESULT send_message_text(HWND window, UINT message, WPARAM wparam, const char* text);

// A window without text (or an invalid window, which Windows reports alike)
// empties the output and answers true.
bool get_window_text_utf8(HWND window, qiv::string_object& output);
bool get_dlg_item_text_utf8(HWND dialog, int control_id, qiv::string_object& output);
bool set_window_text_utf8(HWND window, const char* text);
bool set_dlg_item_text_utf8(HWND dialog, int control_id, const char* text);

bool append_menu_utf8(HMENU menu, UINT flags, UINT_PTR id, const char* item);
// The type flags (MFT_*) of the item at `position`, 0 when there is none.
UINT get_menu_item_type(HMENU menu, UINT position);
