// The open cell editors of the main thread, and the thread mouse hook that
// ends them on a click elsewhere in their window or a turn of the wheel. A
// click never reaches the edit box as focus loss when it lands on a control
// that does not take the focus (a scroll bar, a header), hence the hook.
#pragma once

#include <windows.h>

class inplace_edit_popup;

namespace inplace_edit_mouse_hook {

// The hook is installed with the first editor and removed with the last.
void add(HWND edit, inplace_edit_popup& popup);
void remove(HWND edit) noexcept;
bool is_installed() noexcept;

}  // namespace inplace_edit_mouse_hook
