#include "ui/framework/autoscroll_marker.h"

#include "core/app_state.h"
#include "ui/framework/program_instance.h"
#include "ui/framework/window_class.h"
#include "ui/framework/window_utilities.h"

namespace {

ATOM marker_class() {
  static window_class_record record = [] {
    window_class_record r;
    r.cursor = IDC_SIZEALL;
    r.class_name = L"Zorv:AutoscrollMarker";
    return r;
  }();
  return register_window_class(record);
}

}  // namespace

autoscroll_marker::~autoscroll_marker() {
  if (handle() != nullptr) DestroyWindow(handle());
  if (icon_ != nullptr) DestroyIcon(icon_);
}

void autoscroll_marker::create(HWND owner) {
  const HICON icon = static_cast<HICON>(
      LoadImageW(program_instance(), MAKEINTRESOURCEW(icon_resource), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
  if (icon_ != nullptr) DestroyIcon(icon_);
  icon_ = icon;
  if (handle() != nullptr) return;
  const RECT place = {0, 0, 32, 32};
  create_window(*this, owner, &place, L"", WS_POPUP, WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE,
                0, marker_class());
}

void autoscroll_marker::show_at(POINT origin) {
  if (handle() == nullptr) return;
  const RECT place = {origin.x - 16, origin.y - 16, origin.x + 16, origin.y + 16};
  set_window_pos_rect(handle(), HWND_TOPMOST, place, SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void autoscroll_marker::hide() {
  if (handle() != nullptr) ShowWindow(handle(), SW_HIDE);
}

bool autoscroll_marker::process_message(HWND window, UINT message, WPARAM wparam, LPARAM, LRESULT& result, DWORD) {
  switch (message) {
  case WM_CREATE:
    SetLayeredWindowAttributes(window, colour_key, 0, LWA_COLORKEY);
    result = 0;
    return true;
  case WM_ERASEBKGND: {
    RECT all;
    GetClientRect(window, &all);
    SetBkColor(reinterpret_cast<HDC>(wparam), colour_key);
    ExtTextOutW(reinterpret_cast<HDC>(wparam), 0, 0, ETO_OPAQUE, &all, nullptr, 0, nullptr);
    result = 1;
    return true;
  }
  case WM_PAINT: {
    paint_scope scope(window);
    RECT all;
    GetClientRect(window, &all);
    if (scope.dc() != nullptr && icon_ != nullptr)
      DrawIconEx(scope.dc(), 0, 0, icon_, all.right, all.bottom, 0, nullptr, DI_NORMAL);
    return true;
  }
  case WM_MOUSEACTIVATE:
    result = MA_NOACTIVATE;
    return true;
  default:
    return false;
  }
}
