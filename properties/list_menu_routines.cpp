#include "properties/list_menu_routines.h"

#include <commctrl.h>

#include "core/localized_text.h"
#include "foundation/wide_buffer.h"
#include "foundation/win32_error.h"
#include "foundation/window_text.h"
#include "ui/framework/list_view_operations.h"

int list_view_header_count(HWND list) {
  const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  return int(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
}

void append_submenu(HMENU menu, UINT flags, HMENU submenu, const char* text) {
  if (!append_menu_utf8(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(submenu), text))
    throw exception_win32(GetLastError());
}

std::wstring menu_text_with_shortcut(const char* text_id, const wchar_t* shortcut) {
  const qiv::wide_buffer text = localized_text::to_wide(text_id);
  return std::wstring(text.get_ptr()) + L"\t" + shortcut;
}

POINT context_menu_point(HWND list, POINT point) {
  if (point.x != -1 || point.y != -1) return point;
  RECT client;
  GetClientRect(list, &client);
  for (int row = int(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)); row >= 0;
       row = int(SendMessageW(list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) {
    RECT bounds = {LVIR_BOUNDS, 0, 0, 0};
    RECT shown;
    if (!SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds)) ||
        !IntersectRect(&shown, &bounds, &client))
      continue;
    POINT centre = {(shown.left + shown.right) / 2, (shown.top + shown.bottom) / 2};
    ClientToScreen(list, &centre);
    return centre;
  }
  RECT window;
  GetWindowRect(list, &window);
  return {(window.left + window.right) / 2, (window.top + window.bottom) / 2};
}

std::string first_line_marked(const std::string& text) {
  const std::size_t end = text.find_first_of("\r\n");
  return end == std::string::npos ? text : text.substr(0, end) + " (...)";
}

void list_view_insert_number_column(HWND list, int width_dialog_units) {
  list_view_insert_column(list, 0, "#", width_dialog_units);
  LVCOLUMNW right = {};
  right.mask = LVCF_FMT;
  right.fmt = LVCFMT_RIGHT;
  SendMessageW(list, LVM_SETCOLUMNW, 0, reinterpret_cast<LPARAM>(&right));
}

void answer_cell_text(NMLVDISPINFOW& request, const std::string& text, qiv::wide_buffer& buffer) {
  if ((request.item.mask & LVIF_TEXT) == 0 || request.item.cchTextMax <= 0) return;
  buffer = qiv::utf8_to_wide_buffer(text.c_str(), text.size());
  lstrcpynW(request.item.pszText, buffer.get_ptr(), request.item.cchTextMax);
}
