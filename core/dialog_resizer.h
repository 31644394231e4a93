// The message steps through which resizable dialogs keep their controls laid
// out. A dialog procedure calls one of them first and handles the message
// itself only when the step did not consume it.
#pragma once

#include <windows.h>

#include "core/dialog_layout.h"

namespace dialog_resizer {

// Consumes WM_SIZE and WM_GETMINMAXINFO (result 0). WM_INITDIALOG and
// WM_DESTROY only bind and unbind the layout and are left to the dialog,
// which has its own work to do on both.
bool process_message(dialog_layout& layout, HWND window, UINT message, LPARAM lparam, LRESULT& result);

}  // namespace dialog_resizer

// A resizable dialog that also remembers where the user left it.
class resizable_dialog {
public:
  // The layout first, then the placement keeper for whatever the layout did
  // not consume. The handled flags of both come out as they went in, so that
  // the dialog's own handlers see their own values.
  bool process_message(HWND window, UINT message, LPARAM lparam, LRESULT& result);

  dialog_layout layout;
  window_placement_keeper placement;
};
