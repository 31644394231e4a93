#include "foundation/window_text.h"

#include <memory>

#include "foundation/text_or_resource_id.h"
#include "foundation/win32_text.h"

LRESULT send_message_text(HWND window, UINT message, WPARAM wparam, const char* text) {
  const text_or_resource_id wide(text);
  return SendMessageW(window, message, wparam, reinterpret_cast<LPARAM>(wide.get()));
}

bool get_window_text_utf8(HWND window, qiv::string_object& output) {
  const int length = GetWindowTextLengthW(window);
  if (length < 1) {
    output.set_string("");
    return true;
  }
  // The length may overstate the text (Windows allows it); the copy's count is what holds.
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[length + 1]);
  const int copied = GetWindowTextW(window, buffer.get(), length + 1);
  if (copied <= 0) return false;
  wide_to_utf8(buffer.get(), static_cast<std::size_t>(copied), output);
  return true;
}

bool get_dlg_item_text_utf8(HWND dialog, int control_id, qiv::string_object& output) {
  return get_window_text_utf8(GetDlgItem(dialog, control_id), output);
}

bool set_window_text_utf8(HWND window, const char* text) {
  return SetWindowTextW(window, text_or_resource_id(text).get()) != FALSE;
}

bool set_dlg_item_text_utf8(HWND dialog, int control_id, const char* text) {
  return SetDlgItemTextW(dialog, control_id, text_or_resource_id(text).get()) != FALSE;
}

bool append_menu_utf8(HMENU menu, UINT flags, UINT_PTR id, const char* item) {
  return AppendMenuW(menu, flags, id, text_or_resource_id(item).get()) != FALSE;
}

UINT get_menu_item_type(HMENU menu, UINT position) {
  MENUITEMINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_TYPE;
  if (!GetMenuItemInfoW(menu, position, TRUE, &info)) return 0;
  return info.fType;
}
