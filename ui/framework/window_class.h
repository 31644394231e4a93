// Private window classes of the user interface, and windows made from them
// whose every message, the first included, reaches their object.
#pragma once

#include <windows.h>

#include <string>

#include "ui/framework/window_object.h"

struct window_class_record {
  static WNDCLASSEXW make_description() noexcept {
    WNDCLASSEXW description = {};
    description.cbSize = sizeof(description);
    return description;
  }

  // Style, extra bytes, icon, brush and the like; the procedure and the
  // class name are filled in at registration. A null instance means the
  // program's module.
  WNDCLASSEXW description = make_description();
  // A class to superclass (a system class such as L"Edit", or one of the
  // module's): its description is the start and its procedure gets every
  // message the object leaves.
  const wchar_t* base_class = nullptr;
  // A cursor resource of the module or a system cursor (IDC_ARROW); none
  // keeps the description's.
  const wchar_t* cursor = nullptr;
  // Generated, unique per record, when left empty.
  std::wstring class_name;
  // 0 until registered.
  ATOM atom = 0;
};

// Registers the class once and answers its atom; later calls answer the
// atom at once. Concurrent first calls are serialised. A base class that
// cannot be found answers 0; a refused registration throws exception_win32.
ATOM register_window_class(window_class_record& record);

// Creates a window of a registered class for `object`. Without a rectangle
// the system chooses position and size. A zero atom answers null; a failed
// creation throws exception_win32.
HWND create_window(window_object& object, HWND parent, const RECT* rectangle, const wchar_t* title, DWORD style,
                   DWORD ex_style, UINT id, ATOM atom);
