// List-view and menu routines of the properties dialog's lists and their
// context menus.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "foundation/wide_buffer.h"

int list_view_header_count(HWND list);

// The submenu then belongs to the menu; exception_win32 when refused.
void append_submenu(HMENU menu, UINT flags, HMENU submenu, const char* text);
// The localised text, a tab, then the shortcut: how menus show a key.
std::wstring menu_text_with_shortcut(const char* text_id, const wchar_t* shortcut);

// Where a context menu of the list opens: a mouse point as it is; for the
// menu key's (-1, -1) the centre of the first selected row that shows in the
// list, else the centre of the list. Screen coordinates.
POINT context_menu_point(HWND list, POINT point);

// A value as one list line: cut at its first line break, " (...)" marking
// that more follows.
std::string first_line_marked(const std::string& text);

// The "#" column of the sub-dialogs' lists: right-aligned row numbers, its
// width in dialog units.
void list_view_insert_number_column(HWND list, int width_dialog_units);

// Answers an owner-data list's request for a cell's text; `buffer` holds the
// wide text until the next request.
void answer_cell_text(NMLVDISPINFOW& request, const std::string& text, qiv::wide_buffer& buffer);
