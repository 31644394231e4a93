// The buttons of the main window: the window class "Zorv:XButton", which acts
// towards its parent like a standard push button (button messages, WM_COMMAND
// with the standard codes) but draws itself over the parent's background,
// with an icon, a bitmap or its text, and can be a two-state check button
// (style bit 1, as BS_CHECKBOX has it).
#pragma once

#include <windows.h>

inline constexpr wchar_t push_button_class_name[] = L"Zorv:XButton";

// Registers the class once per process; a refused registration throws
// exception_win32 with the system's error.
void register_push_button_class();
