#include "ui/framework/edit_wrapping.h"

bool too_long_to_wrap(std::string_view text) noexcept {
  std::size_t line_start = 0;
  while (line_start < text.size()) {
    std::size_t line_end = text.find_first_of("\r\n", line_start);
    if (line_end == std::string_view::npos) line_end = text.size();
    if (line_end - line_start > longest_wrapped_line) return true;
    line_start = line_end + 1;
  }
  return false;
}

HWND replace_with_unwrapped_edit(HWND edit) {
  const DWORD style = DWORD(GetWindowLongW(edit, GWL_STYLE));
  if ((style & ES_MULTILINE) == 0 || (style & ES_AUTOHSCROLL) != 0) return edit;
  const HWND parent = GetParent(edit);
  RECT place;
  GetWindowRect(edit, &place);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
  const HWND made = CreateWindowExW(DWORD(GetWindowLongW(edit, GWL_EXSTYLE)), L"EDIT", L"",
                                    style | unwrapped_edit_styles, place.left, place.top, place.right - place.left,
                                    place.bottom - place.top, parent,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(GetDlgCtrlID(edit))),
                                    GetModuleHandleW(nullptr), nullptr);
  if (made == nullptr) return edit;
  SendMessageW(made, WM_SETFONT, SendMessageW(edit, WM_GETFONT, 0, 0), FALSE);
  SendMessageW(made, EM_SETLIMITTEXT, SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 0);
  // The tab order is the order of the siblings.
  SetWindowPos(made, edit, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  const bool focused = GetFocus() == edit;
  DestroyWindow(edit);
  if (focused) SetFocus(made);
  return made;
}
