// What the foundation needs of the application's modal scopes (the records
// taken around modal dialogs, message boxes and shell launches): whether one
// is active, and its window, to bring forward when the user clicks a window
// that the modal loop blocks.
#pragma once

#include <windows.h>

namespace qiv {

// Answers true while a modal scope is active and sets `window` to its owner
// window (which may be null). Installed by the application core; without one
// no modal scope is ever active.
using modal_scope_query = bool (*)(HWND& window) noexcept;
void set_modal_scope_query(modal_scope_query query) noexcept;

} // namespace qiv

// The window itself when it is not a child, else the first ancestor that is
// not; the window itself when the chain of parents ends before one.
HWND find_top_level_window(HWND window);

// Main thread only. While a modal scope with a window is active: activates
// and flashes that window's top-level window, or its enabled popup when the
// window is disabled, and beeps.
void activate_blocked_popup();

// True on the main thread while no modal scope is active.
bool modal_allowed();
