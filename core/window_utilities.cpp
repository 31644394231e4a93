#include "core/window_utilities.h"

#include <commctrl.h>

#include <utility>

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
