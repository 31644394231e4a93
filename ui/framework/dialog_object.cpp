#include "ui/framework/dialog_object.h"

#include "core/app_state.h"
#include "foundation/win32_error.h"
#include "ui/framework/window_object_property.h"
#include "ui/framework/window_utilities.h"

namespace {

HINSTANCE instance_or_program(HINSTANCE instance) {
  if (instance != nullptr) return instance;
  instance = app::state().instance_handle;
  return instance != nullptr ? instance : GetModuleHandleW(nullptr);
}

}  // namespace

HWND dialog_object::create_modeless(int template_id, HWND parent, HINSTANCE instance) {
  SetLastError(0);
  const HWND window = CreateDialogParamW(instance_or_program(instance), MAKEINTRESOURCEW(template_id), parent,
                                         &dialog_object_procedure, reinterpret_cast<LPARAM>(this));
  if (window == nullptr) {
    const DWORD error = GetLastError();
    throw exception_win32(error != 0 ? error : ERROR_CANNOT_MAKE);
  }
  return window;
}

INT_PTR CALLBACK dialog_object_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  window_object* object = window_object_property::get(window);
  if (object == nullptr && message == WM_INITDIALOG && lparam != 0) {
    // The messages before WM_INITDIALOG (WM_SETFONT) are the dialog
    // manager's alone.
    object = reinterpret_cast<dialog_object*>(lparam);
    if (!window_object_property::set(window, object)) return FALSE;
    object->attach(window, nullptr);
  }
  if (object == nullptr) return FALSE;
  const INT_PTR answer = object->route_dialog_message(window, message, wparam, lparam);
  // Last, after the dialog has placed and sized itself.
  if (message == WM_INITDIALOG) fit_into_work_area(window);
  return answer;
}
