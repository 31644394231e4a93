#include "ui/framework/window_utilities.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/app_state.h"
#include "core/window_position_capture.h"

int set_window_ex_style(HWND window, LONG ex_style, UINT extra_swp_flags) {
  SetWindowLongW(window, GWL_EXSTYLE, ex_style);
  if (extra_swp_flags != 0)
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 extra_swp_flags | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  return 1;
}

void add_modal_dialog_frame(HWND window) {
  const LONG ex_style = GetWindowLongW(window, GWL_EXSTYLE);
  if ((ex_style & WS_EX_DLGMODALFRAME) == 0)
    set_window_ex_style(window, ex_style | WS_EX_DLGMODALFRAME, SWP_FRAMECHANGED);
}

int tab_insert_item(HWND tab_control, int index, const wchar_t* text) {
  TCITEMW item = {};
  item.mask = TCIF_TEXT;
  item.pszText = const_cast<wchar_t*>(text);  // the control copies it
  return static_cast<int>(SendMessageW(tab_control, TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&item)));
}

paint_scope::paint_scope(HWND window) noexcept : window_(window) { dc_ = BeginPaint(window, &paint_); }

void paint_scope::end() noexcept {
  if (window_ == nullptr) return;
  EndPaint(window_, &paint_);
  dc_ = nullptr;
  window_ = nullptr;
}

void memory_dc::reset() noexcept {
  if (HDC dc = std::exchange(dc_, nullptr)) DeleteDC(dc);
}

void gdi_object_holder::release() noexcept {
  if (object_ != nullptr && DeleteObject(object_)) object_ = nullptr;
}

void gdi_object_holder::reset(HGDIOBJ object) noexcept {
  release();
  object_ = object;
}

void selected_object_holder::release() noexcept {
  if (dc_ == nullptr) return;
  if (previous_ != nullptr) SelectObject(dc_, previous_);
  dc_ = nullptr;
}

window_origin_holder::window_origin_holder(HDC dc, int x, int y) noexcept : dc_(dc), x_(x), y_(y) {
  OffsetWindowOrgEx(dc_, x_, y_, nullptr);
}

void window_origin_holder::release() noexcept {
  if (dc_ == nullptr) return;
  OffsetWindowOrgEx(dc_, -x_, -y_, nullptr);
  dc_ = nullptr;
}

void window_dc_holder::release() noexcept {
  if (dc_ == nullptr) return;
  ReleaseDC(window_, dc_);
  dc_ = nullptr;
}

void menu_handle::destroy() noexcept {
  if (menu_ != nullptr && DestroyMenu(menu_)) menu_ = nullptr;
}

HWND create_child_window(HWND& out, const wchar_t* class_name, HWND parent, const RECT* rectangle, DWORD style,
                         DWORD ex_style, UINT id) {
  // The default rectangle: left and top CW_USEDEFAULT, right and bottom 0.
  const RECT default_rectangle = {static_cast<LONG>(CW_USEDEFAULT), static_cast<LONG>(CW_USEDEFAULT), 0, 0};
  const RECT& r = rectangle != nullptr ? *rectangle : default_rectangle;
  int width = r.right - r.left;
  int height = r.bottom - r.top;
  if (rectangle == nullptr) width = height = CW_USEDEFAULT;
  const HINSTANCE instance = app::state().instance_handle;
  out = CreateWindowExW(ex_style, class_name, nullptr, style, r.left, r.top, width, height, parent,
                        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                        instance != nullptr ? instance : GetModuleHandleW(nullptr), nullptr);
  return out;
}

unsigned key_modifiers() noexcept {
  unsigned set = 0;
  if (GetKeyState(VK_MENU) < 0) set |= modifier_alt;
  if (GetKeyState(VK_CONTROL) < 0) set |= modifier_ctrl;
  if (GetKeyState(VK_SHIFT) < 0) set |= modifier_shift;
  if (GetKeyState(VK_LWIN) < 0 || GetKeyState(VK_RWIN) < 0) set |= modifier_win;
  return set;
}

HFONT font_with_scaled_height_and_weight(HFONT& out, HFONT font, int weight, double factor) {
  LOGFONTW description = {};
  if (GetObjectW(font, sizeof(description), &description) == 0) {
    out = nullptr;
    return nullptr;
  }
  const LONG source_height = description.lfHeight;
  description.lfHeight = static_cast<LONG>(std::floor(source_height * factor + 0.5));
  if (description.lfHeight == 0) description.lfHeight = sign_of(source_height);
  description.lfWeight = weight;
  out = CreateFontIndirectW(&description);
  return out;
}

HFONT font_with_scaled_height(HFONT& out, HFONT font, double factor) {
  LOGFONTW description = {};
  if (GetObjectW(font, sizeof(description), &description) == 0) {
    out = nullptr;
    return nullptr;
  }
  return font_with_scaled_height_and_weight(out, font, description.lfWeight, factor);
}

int clamp_x_to_work_area(int x, int y) noexcept {
  const POINT point = {x, y};
  if (MonitorFromPoint(point, MONITOR_DEFAULTTONULL) != nullptr) return x;
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  if (!GetMonitorInfoW(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), &info)) return x;
  if (x < info.rcWork.left) return info.rcWork.left;
  if (x > info.rcWork.right) return info.rcWork.right;
  return x;
}

BOOL set_window_pos_rect(HWND window, HWND insert_after, const RECT& rectangle, UINT flags) noexcept {
  return SetWindowPos(window, insert_after, rectangle.left, rectangle.top, rectangle.right - rectangle.left,
                      rectangle.bottom - rectangle.top, flags);
}

int screen_dpi() noexcept { return screen_logical_dpi(); }

void menu_item_set_default(HMENU menu, UINT command_id) noexcept {
  MENUITEMINFOW item = {};
  item.cbSize = sizeof(item);
  item.fMask = MIIM_STATE;
  if (!GetMenuItemInfoW(menu, command_id, FALSE, &item)) return;
  item.fState |= MFS_DEFAULT;
  SetMenuItemInfoW(menu, command_id, FALSE, &item);
}

bool get_control_rect_in_parent(HWND dialog, int control_id, RECT& out) noexcept {
  const HWND control = GetDlgItem(dialog, control_id);
  RECT r;
  if (control == nullptr || !GetWindowRect(control, &r)) return false;
  SetLastError(0);
  if (MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2) == 0 && GetLastError() != 0) return false;
  out = r;
  return true;
}

namespace {

bool work_area_of(HWND window, RECT& out) noexcept {
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) return false;
  out = monitor.rcWork;
  return true;
}

}  // namespace

SIZE work_area_size(HWND window) noexcept {
  RECT work = {};
  if (!work_area_of(window, work)) return {0, 0};
  return {work.right - work.left, work.bottom - work.top};
}

void fit_into_work_area(HWND window) noexcept {
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  RECT work = {}, area = {};
  if ((style & WS_CHILD) || !work_area_of(window, work) || !GetWindowRect(window, &area)) return;
  const LONG work_width = work.right - work.left, work_height = work.bottom - work.top;
  LONG width = area.right - area.left, height = area.bottom - area.top;
  LONG left = area.left, top = area.top;
  if (style & WS_THICKFRAME) {
    if (width > work_width) width = work_width, left = work.left;
    if (height > work_height) height = work_height, top = work.top;
  }
  left = std::max(std::min(left, work.right - width), work.left);
  top = std::max(std::min(top, work.bottom - height), work.top);
  if (left == area.left && top == area.top && width == area.right - area.left && height == area.bottom - area.top)
    return;
  SetWindowPos(window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}
