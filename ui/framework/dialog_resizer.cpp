#include "ui/framework/dialog_resizer.h"

#include <algorithm>

#include "foundation/rounding.h"
#include "ui/framework/window_utilities.h"

void dialog_resizer::set_anchors(const dialog_anchor* anchors, std::size_t count) {
  anchors_.assign(anchors, anchors + count);
}

void dialog_resizer::set_packed_anchors(const std::uint32_t* anchors, std::size_t count) {
  anchors_.clear();
  anchors_.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t flags = anchors[i] >> 16;
    dialog_anchor anchor = {anchors[i] & 0xFFFF, 0, 0, 0, 0};
    if (flags & move_x) anchor.left = anchor.right = 1;
    else if (flags & stretch_x) anchor.right = 1;
    if (flags & move_y) anchor.top = anchor.bottom = 1;
    else if (flags & stretch_y) anchor.bottom = 1;
    anchors_.push_back(anchor);
  }
}

bool dialog_resizer::process_message(HWND window, UINT message, WPARAM, LPARAM lparam, LRESULT& result) {
  switch (message) {
  case WM_INITDIALOG:
    capture(window);
    return false;
  case WM_SIZE:
    // Both halves are signed 16-bit values, as for every coordinate pair
    // packed into an l-parameter.
    apply(static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam)));
    return false;
  case WM_GETMINMAXINFO:
    if (lparam != 0 && window_ != nullptr) fill_tracking_sizes(*reinterpret_cast<MINMAXINFO*>(lparam));
    result = 0;
    return true;
  case WM_DESTROY:
    // The handles die with the dialog; a resizer kept for a later dialog
    // must not reach them.
    window_ = nullptr;
    grip_ = nullptr;
    captured_.clear();
    return false;
  default:
    return false;
  }
}

void dialog_resizer::capture(HWND window) {
  captured_.clear();
  window_ = window;
  GetClientRect(window, &captured_client_);
  for (const dialog_anchor& anchor : anchors_) {
    const HWND control = GetDlgItem(window, static_cast<int>(anchor.control_id));
    if (control == nullptr) continue;
    RECT rectangle;
    GetWindowRect(control, &rectangle);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rectangle), 2);
    captured_.push_back({anchor.control_id, rectangle});
  }
  if ((GetWindowLongW(window, GWL_STYLE) & WS_CHILD) == 0 && grip_ == nullptr) {
    grip_ = CreateWindowExW(0, L"ScrollBar", nullptr,
                            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SBS_SIZEGRIP | SBS_SIZEBOXBOTTOMRIGHTALIGN, 0,
                            0, GetSystemMetrics(SM_CXVSCROLL), GetSystemMetrics(SM_CYHSCROLL), window, nullptr,
                            reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)), nullptr);
    if (grip_ != nullptr) place_grip(nullptr, captured_client_);
  }
  // A dialog larger than the screen has been cut down by the system before
  // this message while its controls stand where the template put them: they
  // are taken as laid out for at least the minimum size and follow the
  // anchors to the size the window got.
  if (minimum_size_dialog_units.cx > 0 && minimum_size_dialog_units.cy > 0) {
    RECT minimum = {0, 0, minimum_size_dialog_units.cx, minimum_size_dialog_units.cy};
    MapDialogRect(window, &minimum);
    if (minimum.right > captured_client_.right || minimum.bottom > captured_client_.bottom)
      adopt_layout_size({std::max(minimum.right, captured_client_.right), std::max(minimum.bottom, captured_client_.bottom)});
  }
}

void dialog_resizer::adopt_layout_size(SIZE laid_out) {
  if (window_ == nullptr) return;
  captured_client_ = {0, 0, laid_out.cx, laid_out.cy};
  RECT client = {};
  GetClientRect(window_, &client);
  apply(client.right - client.left, client.bottom - client.top);
}

void dialog_resizer::apply(int width, int height) {
  if (window_ == nullptr) return;
  const int dx = width - (captured_client_.right - captured_client_.left);
  const int dy = height - (captured_client_.bottom - captured_client_.top);
  HDWP batch = BeginDeferWindowPos(static_cast<int>(anchors_.size()) + 1);
  for (const dialog_anchor& anchor : anchors_) {
    const captured_control* found = nullptr;
    for (const captured_control& entry : captured_)
      if (entry.control_id == anchor.control_id) found = &entry;
    const HWND control = found != nullptr ? GetDlgItem(window_, static_cast<int>(anchor.control_id)) : nullptr;
    if (control == nullptr) continue;
    const RECT& r = found->rectangle;
    const int left = r.left + qiv::round_to_int(anchor.left * dx);
    const int top = r.top + qiv::round_to_int(anchor.top * dy);
    const int right = r.right + qiv::round_to_int(anchor.right * dx);
    const int bottom = r.bottom + qiv::round_to_int(anchor.bottom * dy);
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER | SWP_NOCOPYBITS;
    if (batch != nullptr) batch = DeferWindowPos(batch, control, nullptr, left, top, right - left, bottom - top, flags);
    else SetWindowPos(control, nullptr, left, top, right - left, bottom - top, flags);
  }
  if (grip_ != nullptr) {
    const RECT client = {0, 0, width, height};
    place_grip(batch, client);
    batch = nullptr;
  }
  if (batch != nullptr) EndDeferWindowPos(batch);
}

void dialog_resizer::place_grip(HDWP batch, const RECT& client) {
  RECT grip;
  GetWindowRect(grip_, &grip);
  const int width = grip.right - grip.left;
  const int height = grip.bottom - grip.top;
  const UINT show = window_ != nullptr && IsZoomed(window_) ? SWP_HIDEWINDOW : SWP_SHOWWINDOW;
  const UINT flags = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER | show;
  const int x = client.right - width;
  const int y = client.bottom - height;
  if (batch != nullptr && (batch = DeferWindowPos(batch, grip_, nullptr, x, y, 0, 0, flags)) != nullptr)
    EndDeferWindowPos(batch);
  else SetWindowPos(grip_, nullptr, x, y, 0, 0, flags);
}

void dialog_resizer::fill_tracking_sizes(MINMAXINFO& info) const {
  const auto to_window_size = [this](SIZE units, POINT& out) {
    if (units.cx == 0 || units.cy == 0) return;
    RECT r = {0, 0, units.cx, units.cy};
    MapDialogRect(window_, &r);
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongW(window_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(window_, GWL_EXSTYLE)));
    out = {r.right - r.left, r.bottom - r.top};
  };
  to_window_size(minimum_size_dialog_units, info.ptMinTrackSize);
  to_window_size(maximum_size_dialog_units, info.ptMaxTrackSize);
  // A minimum larger than the screen (a high DPI on a small screen) would
  // keep the dialog's far side out of reach.
  const SIZE work = work_area_size(window_);
  if (work.cx > 0 && work.cy > 0) {
    info.ptMinTrackSize.x = std::min(info.ptMinTrackSize.x, work.cx);
    info.ptMinTrackSize.y = std::min(info.ptMinTrackSize.y, work.cy);
  }
}
