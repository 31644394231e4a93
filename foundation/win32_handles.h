// Owning wrappers of Win32 handles, so that no other code calls the raw
// create and free pairs. Acquiring wrappers throw exception_win32 with the
// call's last error when it fails.
#pragma once

#include <windows.h>

#include "foundation/win32_error.h"

namespace qiv {

// A wait time in seconds as WaitForSingleObject takes it: negative waits
// forever; 0 (and not-a-number) polls; a positive time is rounded to whole
// milliseconds but never below 1, so a tiny time never turns into a poll.
DWORD seconds_to_wait_ms(double seconds) noexcept;

} // namespace qiv

// A manual-reset event.
class win32_event {
public:
  win32_event() noexcept = default;
  ~win32_event();
  win32_event(const win32_event&) = delete;
  win32_event& operator=(const win32_event&) = delete;

  // Closes the held event, then creates a new one, not signalled, unnamed.
  void create();
  HANDLE get() const { return handle_; }

  // Waits for any object: true when it was signalled, false on time-out.
  // A failed wait throws exception_win32; an abandoned mutex, which this
  // system never waits on, is an internal error.
  static bool wait(HANDLE object, double seconds);

private:
  HANDLE handle_ = nullptr;
};

// A popup menu, destroyed with its holder.
class win32_popup_menu {
public:
  win32_popup_menu() noexcept = default;
  ~win32_popup_menu();
  win32_popup_menu(const win32_popup_menu&) = delete;
  win32_popup_menu& operator=(const win32_popup_menu&) = delete;

  // Destroys the held menu, then creates an empty popup menu.
  void create_popup_menu_checked();
  HMENU get() const { return menu_; }

private:
  HMENU menu_ = nullptr;
};

// The program's accelerator table (resource 234 of a module).
class win32_accelerators {
public:
  win32_accelerators() noexcept = default;
  ~win32_accelerators();
  win32_accelerators(const win32_accelerators&) = delete;
  win32_accelerators& operator=(const win32_accelerators&) = delete;

  // Destroys the held table, then loads the module's.
  void load_accelerators_checked(HINSTANCE module);
  HACCEL get() const { return table_; }

private:
  HACCEL table_ = nullptr;
};

// Closes the clipboard when the scope ends, if this scope opened it.
class clipboard_scope {
public:
  clipboard_scope() noexcept = default;
  ~clipboard_scope() { close(); }
  clipboard_scope(const clipboard_scope&) = delete;
  clipboard_scope& operator=(const clipboard_scope&) = delete;

  // Opens the clipboard with no owner window; false when another program
  // holds it.
  bool open();
  void close();

private:
  bool open_ = false;
};

// Unlocks global memory when the scope ends, if this scope locked it.
class global_lock_scope {
public:
  global_lock_scope() noexcept = default;
  ~global_lock_scope() { unlock(); }
  global_lock_scope(const global_lock_scope&) = delete;
  global_lock_scope& operator=(const global_lock_scope&) = delete;

  // The locked memory, or null when GlobalLock fails.
  void* lock(HGLOBAL memory);
  void unlock();

private:
  bool locked_ = false;
  HGLOBAL memory_ = nullptr;
};

// Closes a kernel handle an owner opened and stored, and clears the member.
// Null and INVALID_HANDLE_VALUE (what a failed open answers) mean "not set".
void win32_handle_close(HANDLE& handle) noexcept;

// A kernel object handle owned outright.
class win32_handle {
public:
  win32_handle() noexcept = default;
  explicit win32_handle(HANDLE handle) noexcept : handle_(handle) {}
  ~win32_handle() { win32_handle_close(handle_); }
  win32_handle(const win32_handle&) = delete;
  win32_handle& operator=(const win32_handle&) = delete;

  // Closes the held handle and takes the given one.
  void reset(HANDLE handle = nullptr) noexcept;
  HANDLE get() const { return handle_; }
  // Hands the handle to the caller, who closes it.
  HANDLE release() noexcept {
    const HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }

private:
  HANDLE handle_ = nullptr;
};

// A critical section living exactly as long as its owner: initialised when
// the owner is constructed, deleted when it ends, also when the owner's
// constructor fails after this member was built.
class critical_section {
public:
  critical_section() noexcept { InitializeCriticalSection(&section_); }
  ~critical_section() { DeleteCriticalSection(&section_); }
  critical_section(const critical_section&) = delete;
  critical_section& operator=(const critical_section&) = delete;

  void enter() noexcept { EnterCriticalSection(&section_); }
  void leave() noexcept { LeaveCriticalSection(&section_); }

private:
  CRITICAL_SECTION section_;
};

// Holds a critical section for the length of a scope.
class critical_section_lock {
public:
  explicit critical_section_lock(critical_section& section) noexcept : section_(section) { section_.enter(); }
  ~critical_section_lock() { section_.leave(); }
  critical_section_lock(const critical_section_lock&) = delete;
  critical_section_lock& operator=(const critical_section_lock&) = delete;

private:
  critical_section& section_;
};
