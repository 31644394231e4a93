#include "ui/framework/window_object_property.h"

#include "ui/framework/window_object.h"

namespace window_object_property {
namespace {

constexpr wchar_t property_name[] = L"Zorv.WindowObject";

struct pending_creation {
  window_object* object = nullptr;
  WNDPROC previous = nullptr;
};

// Taken by the new window's first message, so a child created inside the
// parent's WM_CREATE finds the slot free for its own hand-over.
thread_local pending_creation pending;

}  // namespace

window_object* get(HWND window) noexcept { return static_cast<window_object*>(GetPropW(window, property_name)); }

bool set(HWND window, window_object* object) noexcept { return SetPropW(window, property_name, object) != FALSE; }

void remove(HWND window) noexcept { RemovePropW(window, property_name); }

creation_scope::creation_scope(window_object& object, WNDPROC previous) noexcept {
  pending = {&object, previous};
}

creation_scope::~creation_scope() { pending = {}; }

window_object* adopt_window_being_created(HWND window) noexcept {
  window_object* object = pending.object;
  if (object == nullptr) return nullptr;
  const WNDPROC previous = pending.previous;
  pending = {};
  if (!set(window, object)) return nullptr;
  object->attach(window, previous);
  return object;
}

}  // namespace window_object_property
