// Measuring where a dialog is, for its window_position item.
#pragma once

#include <windows.h>

#include "core/config_item_kinds.h"

// Takes a window's placement: its client size and the offset of its client
// area from its owner's window (the owner's restored rectangle while it is
// minimised), with the screen DPI. False, `out` unchanged, when the client
// area is empty or cannot be measured.
bool take_window_position(HWND window, window_position& out);

// The screen's logical pixels per inch, for both axes.
int screen_logical_dpi() noexcept;

// An owner's window rectangle for placing its dialogs: the restored
// rectangle while it is minimised.
bool owner_window_rectangle(HWND owner, RECT& out);
