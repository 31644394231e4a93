// A modal dialog run inside a modal scope, so that the rest of the program
// knows a modal window is open and brings it forward instead of opening
// another.
#pragma once

#include <windows.h>

#include "core/modal_scope.h"

class modal_dialog {
public:
  modal_dialog() noexcept = default;
  modal_dialog(const modal_dialog&) = delete;
  modal_dialog& operator=(const modal_dialog&) = delete;

  // Runs DialogBoxParamW with the template of `instance` (null: the
  // program's module) and answers the code given to EndDialog. A dialog that
  // cannot be made throws exception_win32.
  INT_PTR run_modal(int template_id, HWND parent, HINSTANCE instance = nullptr);

  // Null outside run_modal.
  HWND handle() const noexcept { return window_; }

protected:
  ~modal_dialog() = default;

  // Every message, WM_INITDIALOG included; the answer is the dialog
  // procedure's. An exception is reported and answers FALSE.
  virtual INT_PTR on_message(UINT message, WPARAM wparam, LPARAM lparam) = 0;

private:
  static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND window_ = nullptr;
  modal_scope scope_;
};
