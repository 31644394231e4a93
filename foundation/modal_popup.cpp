#include "foundation/modal_popup.h"

#include <atomic>

#include "foundation/main_thread.h"

namespace {

std::atomic<qiv::modal_scope_query> installed_query{nullptr};

bool active_modal_scope(HWND& window) {
  window = nullptr;
  const qiv::modal_scope_query query = installed_query.load();
  return query && query(window);
}

} // namespace

namespace qiv {

void set_modal_scope_query(modal_scope_query query) noexcept { installed_query.store(query); }

} // namespace qiv

HWND find_top_level_window(HWND window) {
  HWND current = window;
  while (GetWindowLongW(current, GWL_STYLE) & WS_CHILD) {
    current = GetParent(current);
    if (!current) return window;
  }
  return current;
}

void activate_blocked_popup() {
  if (!is_main_thread()) return;
  HWND window;
  if (!active_modal_scope(window) || !window) return;
  HWND top = find_top_level_window(window);
  // A disabled window is the owner of the modal dialog; the dialog is its enabled popup.
  HWND target = IsWindowEnabled(top) ? top : GetWindow(top, GW_ENABLEDPOPUP);
  if (target) {
    SetActiveWindow(target);
    FlashWindow(target, FALSE);
  }
  MessageBeep(0);
}

bool modal_allowed() {
  if (!is_main_thread()) return false;
  HWND window;
  return !active_modal_scope(window);
}
