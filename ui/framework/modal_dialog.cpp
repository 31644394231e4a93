#include "ui/framework/modal_dialog.h"

#include "core/app_state.h"
#include "foundation/win32_error.h"
#include "ui/framework/window_exception_boundary.h"
#include "ui/framework/window_utilities.h"

INT_PTR modal_dialog::run_modal(int template_id, HWND parent, HINSTANCE instance) {
  if (instance == nullptr) instance = app::state().instance_handle;
  if (instance == nullptr) instance = GetModuleHandleW(nullptr);
  SetLastError(0);
  const INT_PTR code = DialogBoxParamW(instance, MAKEINTRESOURCEW(template_id), parent, &modal_dialog::procedure,
                                       reinterpret_cast<LPARAM>(this));
  const DWORD error = GetLastError();
  scope_.leave();
  window_ = nullptr;
  if (code == -1) throw exception_win32(error != 0 ? error : ERROR_CANNOT_MAKE);
  return code;
}

INT_PTR CALLBACK modal_dialog::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* dialog = reinterpret_cast<modal_dialog*>(GetWindowLongPtrW(window, DWLP_USER));
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<modal_dialog*>(lparam);
    SetWindowLongPtrW(window, DWLP_USER, lparam);
    dialog->window_ = window;
    dialog->scope_.enter(window);
  }
  if (dialog == nullptr) return FALSE;
  const INT_PTR answer = guard_window_callback("dialog procedure", INT_PTR(FALSE),
                                               [&] { return dialog->on_message(message, wparam, lparam); });
  // Last, after the dialog has placed and sized itself.
  if (message == WM_INITDIALOG) fit_into_work_area(window);
  return answer;
}
