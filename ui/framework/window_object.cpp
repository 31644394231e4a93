#include "ui/framework/window_object.h"

#include <utility>

#include "ui/framework/window_exception_boundary.h"
#include "ui/framework/window_object_property.h"

window_object::~window_object() {
  if (window_ != nullptr) detach(window_);
}

void window_object::set_handled(bool handled) noexcept {
  if (current_ != nullptr) current_->handled = handled;
}

LRESULT window_object::call_previous(UINT message, WPARAM wparam, LPARAM lparam) {
  if (previous_ != nullptr) return CallWindowProcW(previous_, window_, message, wparam, lparam);
  return DefWindowProcW(window_, message, wparam, lparam);
}

bool window_object::subclass(HWND window) {
  if (window_ != nullptr || window == nullptr) return false;
  if (!window_object_property::set(window, this)) return false;
  const auto previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&window_object_procedure)));
  if (previous == nullptr) {
    window_object_property::remove(window);
    return false;
  }
  attach(window, previous);
  return true;
}

void window_object::attach(HWND window, WNDPROC previous) noexcept {
  window_ = window;
  previous_ = previous;
}

bool window_object::offer(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) noexcept {
  window_message record = {window, message, wparam, lparam, true};
  window_message* const outer = std::exchange(current_, &record);
  ++depth_;
  bool failed = false;
  bool handled = guard_window_callback("window procedure", false, [&] {
    failed = true;
    const bool answered = process_message(window, message, wparam, lparam, result, 0);
    failed = false;
    return answered && record.handled;
  });
  // A window whose object failed while setting itself up is not created;
  // any other failed message gets the default processing, so that a failed
  // paint still validates the window instead of being asked again forever.
  if (failed) {
    handled = message == WM_NCCREATE || message == WM_CREATE;
    result = message == WM_CREATE ? -1 : 0;
  }
  --depth_;
  current_ = outer;
  return handled;
}

LRESULT window_object::route_window_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  LRESULT result = 0;
  if (!offer(window, message, wparam, lparam, result)) {
    result = previous_ != nullptr ? CallWindowProcW(previous_, window, message, wparam, lparam)
                                  : DefWindowProcW(window, message, wparam, lparam);
  }
  after_message(window, message);
  return result;
}

namespace {

// Messages whose answer a dialog procedure returns itself; every other
// handled message answers through DWLP_MSGRESULT.
bool dialog_answers_directly(UINT message) noexcept {
  switch (message) {
  case WM_INITDIALOG:
  case WM_CHARTOITEM:
  case WM_VKEYTOITEM:
  case WM_COMPAREITEM:
  case WM_QUERYDRAGICON:
  case WM_CTLCOLORMSGBOX:
  case WM_CTLCOLOREDIT:
  case WM_CTLCOLORLISTBOX:
  case WM_CTLCOLORBTN:
  case WM_CTLCOLORDLG:
  case WM_CTLCOLORSCROLLBAR:
  case WM_CTLCOLORSTATIC:
    return true;
  default:
    return false;
  }
}

}  // namespace

INT_PTR window_object::route_dialog_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  LRESULT result = 0;
  INT_PTR answer = FALSE;
  if (offer(window, message, wparam, lparam, result)) {
    if (dialog_answers_directly(message)) {
      answer = result;
    } else {
      SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
      answer = TRUE;
    }
  }
  after_message(window, message);
  return answer;
}

void window_object::after_message(HWND window, UINT message) noexcept {
  if (message == WM_NCDESTROY && window_ == window) {
    detach(window);
    final_message_due_ = true;
  }
  if (final_message_due_ && depth_ == 0) {
    final_message_due_ = false;
    // Last use of the object here: on_final_message may delete it.
    guard_window_callback("final message", 0, [&] {
      on_final_message(window);
      return 0;
    });
  }
}

void window_object::detach(HWND window) noexcept {
  // Put the previous procedure back only while ours is the window's: a party
  // that subclassed the window after us still calls ours, which then passes
  // everything on to DefWindowProcW.
  if (previous_ != nullptr &&
      GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&window_object_procedure))
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
  window_object_property::remove(window);
  window_ = nullptr;
}

LRESULT CALLBACK window_object_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  window_object* object = window_object_property::get(window);
  if (object == nullptr) object = window_object_property::adopt_window_being_created(window);
  if (object == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return object->route_window_message(window, message, wparam, lparam);
}
