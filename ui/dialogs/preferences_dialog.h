// The preferences dialog: one modeless window with the tree of pages on the
// left and the selected page on the right, OK, Cancel and Apply. Only one
// exists at a time.
#pragma once

#include <windows.h>

namespace preferences_dialog {

// Main thread only. Opens the dialog owned by the main window at `page`
// (null: the page shown last in this run, if any); when it is open already,
// brings it forward and, for a page, switches to it.
void open(const GUID* page);

// The open dialog's window, or null.
HWND window() noexcept;

}  // namespace preferences_dialog
