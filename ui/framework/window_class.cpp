#include "ui/framework/window_class.h"

#include <mutex>
#include <vector>

#include "core/app_state.h"
#include "foundation/win32_error.h"
#include "ui/framework/program_instance.h"
#include "ui/framework/window_object_property.h"

namespace {

struct registered_class {
  ATOM atom;
  HINSTANCE instance;
  WNDPROC base_procedure;
};

std::mutex& registration_lock() {
  static std::mutex lock;
  return lock;
}

// Guarded by registration_lock; classes live until the process ends.
std::vector<registered_class>& registered_classes() {
  static std::vector<registered_class> classes;
  return classes;
}

bool find_registered(ATOM atom, registered_class& out) {
  std::lock_guard<std::mutex> hold(registration_lock());
  for (const registered_class& entry : registered_classes()) {
    if (entry.atom == atom) {
      out = entry;
      return true;
    }
  }
  return false;
}

}  // namespace

ATOM register_window_class(window_class_record& record) {
  std::lock_guard<std::mutex> hold(registration_lock());
  if (record.atom != 0) return record.atom;

  WNDCLASSEXW description = record.description;
  description.cbSize = sizeof(description);
  if (description.hInstance == nullptr) description.hInstance = program_instance();
  WNDPROC base_procedure = nullptr;
  if (record.base_class != nullptr) {
    WNDCLASSEXW base = window_class_record::make_description();
    if (!GetClassInfoExW(nullptr, record.base_class, &base) &&
        !GetClassInfoExW(description.hInstance, record.base_class, &base))
      return 0;
    base_procedure = base.lpfnWndProc;
    const HINSTANCE instance = description.hInstance;
    description = base;
    description.cbSize = sizeof(description);
    description.hInstance = instance;
    // A superclass is the module's own class, never a global one.
    description.style &= ~CS_GLOBALCLASS;
  }
  if (record.cursor != nullptr) {
    HCURSOR cursor = LoadCursorW(description.hInstance, record.cursor);
    if (cursor == nullptr) cursor = LoadCursorW(nullptr, record.cursor);
    description.hCursor = cursor;
  }
  if (record.class_name.empty()) {
    wchar_t name[64];
    wsprintfW(name, L"Zorv:Class:%p", static_cast<void*>(&record));
    record.class_name = name;
  }
  description.lpszClassName = record.class_name.c_str();
  description.lpszMenuName = nullptr;
  description.lpfnWndProc = &window_object_procedure;
  SetLastError(0);
  const ATOM atom = RegisterClassExW(&description);
  if (atom == 0) throw exception_win32(GetLastError());
  registered_classes().push_back({atom, description.hInstance, base_procedure});
  record.atom = atom;
  return atom;
}

HWND create_window(window_object& object, HWND parent, const RECT* rectangle, const wchar_t* title, DWORD style,
                   DWORD ex_style, UINT id, ATOM atom) {
  registered_class entry = {};
  if (atom == 0 || !find_registered(atom, entry)) return nullptr;
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT, width = CW_USEDEFAULT, height = CW_USEDEFAULT;
  if (rectangle != nullptr) {
    x = rectangle->left;
    y = rectangle->top;
    width = rectangle->right - rectangle->left;
    height = rectangle->bottom - rectangle->top;
  }
  HWND window;
  {
    window_object_property::creation_scope hand_over(object, entry.base_procedure);
    SetLastError(0);
    window = CreateWindowExW(ex_style, MAKEINTATOM(atom), title, style, x, y, width, height, parent,
                             reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), entry.instance, nullptr);
  }
  if (window == nullptr) {
    const DWORD error = GetLastError();
    // A window refused by its own set-up leaves no error code of its own.
    throw exception_win32(error != 0 ? error : ERROR_CANNOT_MAKE);
  }
  return window;
}
