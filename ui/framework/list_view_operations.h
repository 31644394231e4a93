// The small list-view operations the dialogs share. Texts are UTF-8 and
// converted at the call.
#pragma once

#include <windows.h>

#include <string>

// Inserts an item with text and item data; a negative index appends. Answers
// the new index, -1 on failure.
int list_view_append_item(HWND list, int index, const char* text, LPARAM data);
// A left-aligned column, its width given in dialog units of the list's
// parent. Answers its index, -1 on failure.
int list_view_insert_column(HWND list, int index, const char* title, int width_dialog_units);
void list_view_get_item_text(HWND list, int item, int sub_item, std::string& out);
void list_view_set_item_text(HWND list, int item, int sub_item, const char* text);
// 0 when the item cannot be read.
LPARAM list_view_get_item_data(HWND list, int item);
// Item -1: every item.
void list_view_set_item_state(HWND list, int item, UINT state, UINT mask);
bool list_view_is_item_selected(HWND list, int item);
// Only `item` selected and focused, made the selection mark and scrolled
// into view.
void list_view_select_only(HWND list, int item);
// Like select_only, but a list of single selection keeps its own rule, and
// scrolling follows only a selection that took.
void list_view_select_and_show(HWND list, int item);
