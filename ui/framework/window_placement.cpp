#include "ui/framework/window_placement.h"

#include "core/window_position_capture.h"
#include "ui/framework/window_utilities.h"

namespace {

void rescale(std::int32_t& size, std::int32_t& offset, std::int32_t& stored_dpi, int dpi) {
  if (stored_dpi != 0 && stored_dpi != dpi) {
    if (size != window_position::unset_size) size = MulDiv(size, dpi, stored_dpi);
    if (offset != window_position::unset_coordinate) offset = MulDiv(offset, dpi, stored_dpi);
  }
  stored_dpi = dpi;
}

bool client_rect_on_screen(HWND window, RECT& out) {
  if (!GetClientRect(window, &out)) return false;
  SetLastError(0);
  return MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&out), 2) != 0 || GetLastError() == 0;
}

struct corner_search {
  HWND self;
  POINT corner;
  bool taken;
};

BOOL CALLBACK find_window_at_corner(HWND candidate, LPARAM context) {
  auto& search = *reinterpret_cast<corner_search*>(context);
  RECT rect;
  if (candidate == search.self || !IsWindowVisible(candidate) || !GetWindowRect(candidate, &rect)) return TRUE;
  if (rect.left != search.corner.x || rect.top != search.corner.y) return TRUE;
  search.taken = true;
  return FALSE;
}

// Two dialogs of one kind would otherwise open exactly on top of each other,
// hiding the first.
void cascade_off_other_windows(HWND window, RECT& rect) {
  const int step = GetSystemMetrics(SM_CYCAPTION);
  // Bounded: a screen holds only so many windows at one step from each other.
  for (int tries = 0; tries < 256; ++tries) {
    corner_search search = {window, {rect.left, rect.top}, false};
    EnumThreadWindows(GetCurrentThreadId(), find_window_at_corner, reinterpret_cast<LPARAM>(&search));
    if (!search.taken || step <= 0) return;
    OffsetRect(&rect, step, step);
  }
}

// The top-left corner stays visible when the window is larger than the
// work area.
void keep_in_work_area(RECT& rect, const RECT* owner_rect) {
  const RECT no_owner = {0, 0, 0, 1};
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  if (!GetMonitorInfoW(MonitorFromRect(owner_rect ? owner_rect : &no_owner, MONITOR_DEFAULTTONEAREST), &monitor))
    return;
  const RECT& work = monitor.rcWork;
  if (rect.right > work.right) OffsetRect(&rect, work.right - rect.right, 0);
  if (rect.bottom > work.bottom) OffsetRect(&rect, 0, work.bottom - rect.bottom);
  if (rect.left < work.left) OffsetRect(&rect, work.left - rect.left, 0);
  if (rect.top < work.top) OffsetRect(&rect, 0, work.top - rect.top);
}

}  // namespace

void restore_window_position(HWND window, window_position& record) {
  const int dpi = screen_dpi();
  rescale(record.width, record.x, record.dpi_x, dpi);
  rescale(record.height, record.y, record.dpi_y, dpi);

  RECT rect;
  if (!client_rect_on_screen(window, rect)) return;
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  const LONG ex_style = GetWindowLongW(window, GWL_EXSTYLE);
  const bool sized = record.width != window_position::unset_size && record.height != window_position::unset_size &&
                     (style & WS_THICKFRAME) != 0;
  if (sized) {
    rect.right = rect.left + record.width;
    rect.bottom = rect.top + record.height;
  }

  RECT owner_rect;
  const HWND owner = GetParent(window);
  const bool has_owner = owner != nullptr && owner_window_rectangle(owner, owner_rect);
  if (has_owner) {
    const LONG width = rect.right - rect.left;
    const LONG height = rect.bottom - rect.top;
    LONG left, top;
    if (record.x == window_position::unset_coordinate || record.y == window_position::unset_coordinate) {
      left = (owner_rect.left + owner_rect.right) / 2 - width / 2;
      top = (owner_rect.top + owner_rect.bottom) / 2 - height / 2;
    } else {
      left = owner_rect.left + record.x;
      top = owner_rect.top + record.y;
    }
    rect = {left, top, left + width, top + height};
  }

  const bool has_menu = (style & WS_POPUP) != 0 && GetMenu(window) != nullptr;
  if (!AdjustWindowRectEx(&rect, static_cast<DWORD>(style), has_menu, static_cast<DWORD>(ex_style))) return;
  cascade_off_other_windows(window, rect);
  keep_in_work_area(rect, has_owner ? &owner_rect : nullptr);
  set_window_pos_rect(window, nullptr, rect, SWP_NOZORDER | SWP_NOACTIVATE | (sized ? 0 : SWP_NOSIZE));
}

window_placement_keeper::~window_placement_keeper() { save_current(); }

void window_placement_keeper::on_message(HWND window, UINT message) noexcept {
  try {
    if (message == WM_CREATE || message == WM_INITDIALOG) {
      if (window_ != nullptr) save_current();
      window_ = window;
      item_.capture_attached();
      item_.attach(window);
      restore_window_position(window, item_.value());
    } else if (message == WM_DESTROY && window == window_) {
      save_current();
    }
  } catch (...) {
    // Only the attached-window list allocates: without it the dialog still
    // opens, at its template place.
  }
}

void window_placement_keeper::save_current() noexcept {
  if (window_ == nullptr) return;
  take_window_position(window_, item_.value());
  item_.detach(window_);
  window_ = nullptr;
}
