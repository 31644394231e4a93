// The menus the main window opens: the application's popup main menu (the
// Menu button, a right click outside the list) and the item context menu of
// the list's selection. The menu layer builds them; the window only asks.
#pragma once

#include <windows.h>

class main_window;

// At a point in screen coordinates; returns when the menu has closed.
void main_window_popup_main_menu(HWND owner, POINT screen);
void main_window_item_context_menu(main_window& window, POINT screen);
