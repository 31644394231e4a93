// List-view and menu routines of the properties dialog's lists and their
// context menus.
#pragma once

#include <windows.h>

#include <string>

int list_view_header_count(HWND list);

// The submenu then belongs to the menu; exception_win32 when refused.
void append_submenu(HMENU menu, UINT flags, HMENU submenu, const char* text);
// The localised text, a tab, then the shortcut: how menus show a key.
std::wstring menu_text_with_shortcut(const char* text_id, const wchar_t* shortcut);

// Where a context menu of the list opens: a mouse point as it is; for the
// menu key's (-1, -1) the centre of the first selected row that shows in the
// list, else the centre of the list. Screen coordinates.
POINT context_menu_point(HWND list, POINT point);
