// Dialogs with a message map: what the map leaves unhandled goes to the
// dialog manager. Modeless dialogs of the shell are made this way.
#pragma once

#include <windows.h>

#include "ui/framework/window_object.h"

class dialog_object : public window_object {
public:
  // Creates the dialog from a template of `instance` (null: the program's
  // module). A failure throws exception_win32.
  HWND create_modeless(int template_id, HWND parent, HINSTANCE instance = nullptr);
};

// The dialog procedure shared by every dialog object.
INT_PTR CALLBACK dialog_object_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
