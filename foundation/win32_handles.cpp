#include "foundation/win32_handles.h"

#include <cmath>

#include "foundation/exceptions.h"

namespace qiv {

DWORD seconds_to_wait_ms(double seconds) noexcept {
  if (seconds < 0) return INFINITE;
  if (!(seconds > 0)) return 0;  // zero and not-a-number
  const double milliseconds = std::floor(seconds * 1000.0 + 0.5);
  // Beyond the largest finite wait (about 49 days) the conversion would be
  // undefined; such a time is as good as the largest one.
  if (milliseconds >= double(INFINITE - 1)) return INFINITE - 1;
  if (milliseconds < 1.0) return 1;
  return static_cast<DWORD>(milliseconds);
}

} // namespace qiv

namespace {

// The acquiring calls report their failure through the last error only.
[[noreturn]] void throw_last_error() { throw exception_win32(GetLastError()); }

} // namespace

win32_event::~win32_event() { win32_handle_close(handle_); }

void win32_event::create() {
  win32_handle_close(handle_);
  SetLastError(0);
  handle_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!handle_) throw_last_error();
}

bool win32_event::wait(HANDLE object, double seconds) {
  SetLastError(0);
  switch (WaitForSingleObject(object, qiv::seconds_to_wait_ms(seconds))) {
    case WAIT_OBJECT_0: return true;
    case WAIT_TIMEOUT: return false;
    case WAIT_FAILED: throw_last_error();
    default: qiv::throw_bug_check();
  }
}

win32_popup_menu::~win32_popup_menu() {
  if (menu_) DestroyMenu(menu_);
}

void win32_popup_menu::create_popup_menu_checked() {
  if (menu_) DestroyMenu(menu_);
  menu_ = nullptr;
  SetLastError(0);
  menu_ = CreatePopupMenu();
  if (!menu_) throw_last_error();
}

win32_accelerators::~win32_accelerators() {
  if (table_) DestroyAcceleratorTable(table_);
}

void win32_accelerators::load_accelerators_checked(HINSTANCE module) {
  if (table_) DestroyAcceleratorTable(table_);
  table_ = nullptr;
  SetLastError(0);
  table_ = LoadAcceleratorsW(module, MAKEINTRESOURCEW(234));
  if (!table_) throw_last_error();
}

bool clipboard_scope::open() {
  if (open_) return true;
  open_ = OpenClipboard(nullptr) != FALSE;
  return open_;
}

void clipboard_scope::close() {
  if (!open_) return;
  open_ = false;
  CloseClipboard();
}

void* global_lock_scope::lock(HGLOBAL memory) {
  unlock();
  void* data = GlobalLock(memory);
  if (data) {
    memory_ = memory;
    locked_ = true;
  }
  return data;
}

void global_lock_scope::unlock() {
  if (!locked_) return;
  locked_ = false;
  GlobalUnlock(memory_);
  memory_ = nullptr;
}

void win32_handle_close(HANDLE& handle) noexcept {
  const HANDLE held = handle;
  handle = nullptr;
  if (held && held != INVALID_HANDLE_VALUE) CloseHandle(held);
}

void win32_handle::reset(HANDLE handle) noexcept {
  win32_handle_close(handle_);
  handle_ = handle;
}
