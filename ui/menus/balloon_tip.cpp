#include "ui/menus/balloon_tip.h"

#include <commctrl.h>

#include "foundation/wide_buffer.h"
#include "foundation/win32_error.h"

balloon_tip::~balloon_tip() {
  if (tooltip_ != nullptr) DestroyWindow(tooltip_);
}

void balloon_tip::show_balloon_tip(const char* text, HWND control) {
  if (tooltip_ == nullptr) {
    tooltip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_BALLOON, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    if (tooltip_ == nullptr) throw exception_win32(GetLastError());
  }
  hide_balloon_tip();
  if (text == nullptr) return;
  qiv::wide_buffer wide = qiv::string_to_wide(text);
  tool_ = {};
  tool_.cbSize = sizeof(tool_);
  tool_.uFlags = TTF_IDISHWND | TTF_CENTERTIP | TTF_TRACK | TTF_ABSOLUTE | TTF_TRANSPARENT;
  tool_.hwnd = GetParent(control);
  tool_.uId = reinterpret_cast<UINT_PTR>(control);
  tool_.lpszText = const_cast<wchar_t*>(wide.get_ptr());
  const bool added = SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool_)) != 0;
  tool_.lpszText = nullptr;  // the control keeps its own copy
  if (!added) return;
  RECT rect;
  GetWindowRect(control, &rect);
  SendMessageW(tooltip_, TTM_TRACKPOSITION, 0, MAKELPARAM((rect.left + rect.right) / 2, rect.bottom));
  SendMessageW(tooltip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool_));
}

void balloon_tip::hide_balloon_tip() {
  if (tooltip_ == nullptr || SendMessageW(tooltip_, TTM_GETTOOLCOUNT, 0, 0) == 0) return;
  SendMessageW(tooltip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool_));
  SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool_));
}
