// Until the menu manager and the context-menu manager are built, neither
// menu has entries to show: asking for one is answered with a beep, so that
// the click is not silently lost.
#include "ui/main/main_window_menus.h"

void main_window_popup_main_menu(HWND, POINT) { MessageBeep(0); }

void main_window_item_context_menu(main_window&, POINT) { MessageBeep(0); }
