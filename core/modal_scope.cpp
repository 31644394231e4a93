#include "core/modal_scope.h"

#include <utility>

#include "foundation/main_thread.h"
#include "foundation/modal_popup.h"

namespace {

// The current scope; only the main thread reads or writes it.
struct scope_pair {
  HWND owner = nullptr;
  bool active = false;
};
scope_pair current;

// What the foundation's window helpers ask (they call it on the main thread only).
bool query_current(HWND& window) noexcept {
  window = current.owner;
  return current.active;
}

void swap_with_current(HWND& owner, bool& active) noexcept {
  std::swap(owner, current.owner);
  std::swap(active, current.active);
}

}  // namespace

modal_scope::~modal_scope() {
  try {
    leave();
  } catch (...) {
    // Only the debugger warning can fail here; the record is gone anyway.
  }
}

void modal_scope::enter(HWND owner) {
  if (entered_) return;
  entered_ = true;
  owner_ = owner;
  active_ = true;
  if (!is_main_thread()) return;
  qiv::set_modal_scope_query(query_current);
  swap_with_current(owner_, active_);
  swapped_ = true;
}

void modal_scope::leave() {
  if (!entered_) return;
  entered_ = false;
  if (!is_main_thread()) return;
  // A record entered off the main thread never became current: swapping it
  // in now would leave its active pair current for good.
  if (!swapped_) return;
  swapped_ = false;
  swap_with_current(owner_, active_);
}

bool modal_scope::none_active() {
  if (!is_main_thread()) return false;
  return !current.active;
}
