// Window captions and dialog item texts from the language table. A dialog
// template's own words are English; each window sets them from the table
// as it opens, so that no text the user sees stays in English.
#pragma once

#include <windows.h>

// `english` where the table has no text for `id`: a language file of the
// user's own, written for an earlier version, lacks the newer ids.
void set_localized_window_text(HWND window, const char* id, const char* english);
void set_localized_item_text(HWND dialog, int control, const char* id, const char* english);
