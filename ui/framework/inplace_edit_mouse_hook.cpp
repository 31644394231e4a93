#include "ui/framework/inplace_edit_mouse_hook.h"

#include <map>
#include <vector>

#include "ui/framework/inplace_edit_popup.h"
#include "ui/framework/window_exception_boundary.h"

namespace {

std::map<HWND, inplace_edit_popup*>& open_editors() {
  static std::map<HWND, inplace_edit_popup*> editors;
  return editors;
}
HHOOK hook = nullptr;

bool is_button_press(WPARAM message) noexcept {
  switch (message) {
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN: case WM_XBUTTONDOWN:
    case WM_NCLBUTTONDOWN: case WM_NCRBUTTONDOWN: case WM_NCMBUTTONDOWN: case WM_NCXBUTTONDOWN:
      return true;
    default:
      return false;
  }
}

bool is_wheel(WPARAM message) noexcept { return message == WM_MOUSEWHEEL || message == WM_MOUSEHWHEEL; }

void offer(WPARAM message, const MOUSEHOOKSTRUCT& mouse) {
  // A copy: ending an editor removes it from the set.
  std::vector<std::pair<HWND, inplace_edit_popup*>> editors(open_editors().begin(), open_editors().end());
  for (const auto& [edit, popup] : editors) {
    const HWND root = GetAncestor(edit, GA_ROOT);
    const bool is_editor = mouse.hwnd == edit || mouse.hwnd == popup->handle();
    const bool same_window = mouse.hwnd != nullptr && GetAncestor(mouse.hwnd, GA_ROOT) == root;
    if (!is_editor && same_window) {
      popup->request_end(inplace_edit::end_lost);
      continue;
    }
    // The wheel goes to the focus (the editor) wherever the pointer is: what
    // counts is the window under the pointer.
    if (!is_wheel(message)) continue;
    const HWND under = WindowFromPoint(mouse.pt);
    if (under != nullptr && under != edit && under != popup->handle() && GetAncestor(under, GA_ROOT) == root)
      popup->request_end(inplace_edit::end_lost);
  }
}

LRESULT CALLBACK mouse_procedure(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION && (is_button_press(wparam) || is_wheel(wparam))) {
    guard_window_callback("the cell editor's mouse hook", 0, [&] {
      offer(wparam, *reinterpret_cast<const MOUSEHOOKSTRUCT*>(lparam));
      return 0;
    });
  }
  return CallNextHookEx(hook, code, wparam, lparam);
}

}  // namespace

void inplace_edit_mouse_hook::add(HWND edit, inplace_edit_popup& popup) {
  open_editors()[edit] = &popup;
  if (hook == nullptr) hook = SetWindowsHookExW(WH_MOUSE, &mouse_procedure, nullptr, GetCurrentThreadId());
}

void inplace_edit_mouse_hook::remove(HWND edit) noexcept {
  open_editors().erase(edit);
  if (open_editors().empty() && hook != nullptr) {
    UnhookWindowsHookEx(hook);
    hook = nullptr;
  }
}

bool inplace_edit_mouse_hook::is_installed() noexcept { return hook != nullptr; }
