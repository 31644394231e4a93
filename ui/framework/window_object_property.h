// Where the trampoline finds the object of a window: a window property, and
// for a window still inside CreateWindowExW the object that create_window
// handed to the thread just before.
#pragma once

#include <windows.h>

class window_object;

namespace window_object_property {

window_object* get(HWND window) noexcept;
bool set(HWND window, window_object* object) noexcept;
void remove(HWND window) noexcept;

// create_window's hand-over: the object (and the previous procedure of a
// superclass) that the next window created on this thread belongs to.
class creation_scope {
public:
  creation_scope(window_object& object, WNDPROC previous) noexcept;
  ~creation_scope();
  creation_scope(const creation_scope&) = delete;
  creation_scope& operator=(const creation_scope&) = delete;
};

// The first message of a new window: binds the pending object to it and
// answers it, or null when nothing is pending.
window_object* adopt_window_being_created(HWND window) noexcept;

}  // namespace window_object_property
