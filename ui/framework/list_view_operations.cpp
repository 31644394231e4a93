#include "ui/framework/list_view_operations.h"

#include <commctrl.h>

#include <cstring>
#include <vector>

#include "foundation/code_page_text.h"

namespace {

std::wstring wide(const char* text) {
  return text != nullptr ? qiv::utf8_to_utf16(text, std::strlen(text)) : std::wstring();
}

}  // namespace

int list_view_append_item(HWND list, int index, const char* text, LPARAM data) {
  std::wstring converted = wide(text);
  LVITEMW item = {};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = index >= 0 ? index : static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  item.pszText = converted.data();
  item.lParam = data;
  return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

int list_view_insert_column(HWND list, int index, const char* title, int width_dialog_units) {
  RECT width = {0, 0, width_dialog_units, 0};
  MapDialogRect(GetParent(list), &width);
  std::wstring converted = wide(title);
  LVCOLUMNW column = {};
  column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
  column.fmt = LVCFMT_LEFT;
  column.cx = width.right;
  column.pszText = converted.data();
  return static_cast<int>(SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)));
}

void list_view_get_item_text(HWND list, int item, int sub_item, std::string& out) {
  std::vector<wchar_t> buffer(65536);
  LVITEMW request = {};
  request.iSubItem = sub_item;
  request.pszText = buffer.data();
  request.cchTextMax = static_cast<int>(buffer.size());
  const auto length = SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&request));
  out = qiv::utf16_to_utf8(buffer.data(), static_cast<std::size_t>(length > 0 ? length : 0));
}

void list_view_set_item_text(HWND list, int item, int sub_item, const char* text) {
  std::wstring converted = wide(text);
  LVITEMW change = {};
  change.mask = LVIF_TEXT;
  change.iItem = item;
  change.iSubItem = sub_item;
  change.pszText = converted.data();
  SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&change));
}

LPARAM list_view_get_item_data(HWND list, int item) {
  LVITEMW request = {};
  request.mask = LVIF_PARAM;
  request.iItem = item;
  if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&request))) return 0;
  return request.lParam;
}

void list_view_set_item_state(HWND list, int item, UINT state, UINT mask) {
  LVITEMW change = {};
  change.state = state;
  change.stateMask = mask;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&change));
}

bool list_view_is_item_selected(HWND list, int item) {
  return (SendMessageW(list, LVM_GETITEMSTATE, item, LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

void list_view_select_only(HWND list, int item) {
  list_view_set_item_state(list, -1, 0, LVIS_SELECTED);
  list_view_set_item_state(list, item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  SendMessageW(list, LVM_SETSELECTIONMARK, 0, item);
  SendMessageW(list, LVM_ENSUREVISIBLE, item, FALSE);
}

void list_view_select_and_show(HWND list, int item) {
  if ((GetWindowLongW(list, GWL_STYLE) & LVS_SINGLESEL) == 0) list_view_set_item_state(list, -1, 0, LVIS_SELECTED);
  LVITEMW change = {};
  change.state = change.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  if (SendMessageW(list, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&change)))
    SendMessageW(list, LVM_ENSUREVISIBLE, item, FALSE);
}
