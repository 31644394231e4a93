#include "ui/framework/inplace_edit_popup.h"

#include <commctrl.h>

#include "foundation/string_buffer.h"
#include "foundation/win32_error.h"
#include "foundation/window_text.h"
#include "foundation/win32_text.h"
#include "ui/framework/edit_wrapping.h"
#include "ui/framework/edit_autocomplete.h"
#include "ui/framework/inplace_edit_mouse_hook.h"
#include "ui/framework/window_class.h"

namespace {

ATOM popup_class() {
  static window_class_record record = [] {
    window_class_record r;
    r.cursor = IDC_ARROW;
    r.description.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    r.class_name = L"Zorv:InplaceEdit";
    return r;
  }();
  return register_window_class(record);
}

DWORD edit_style(unsigned flags) noexcept {
  DWORD style = WS_CHILD | WS_VISIBLE;
  if (flags & inplace_edit::flag_read_only) style |= ES_READONLY;
  // Enter is the box's own key; ES_WANTRETURN keeps a multi-line edit from
  // handing a Ctrl+Enter to the dialog's default button.
  if (flags & inplace_edit::flag_multi_line) style |= ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL | ES_AUTOVSCROLL;
  else style |= ES_AUTOHSCROLL;
  if (flags & inplace_edit::flag_centred) style |= ES_CENTER;
  else if (flags & inplace_edit::flag_right_aligned) style |= ES_RIGHT;
  return style;
}

// A multi-line edit shows a line break only as CR LF.
std::string with_crlf_breaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

bool control_key_down() noexcept { return GetKeyState(VK_LCONTROL) < 0 || GetKeyState(VK_RCONTROL) < 0 || GetKeyState(VK_CONTROL) < 0; }

}  // namespace

inplace_edit_popup::inplace_edit_popup(HWND list, unsigned flags, inplace_edit_text* text,
                                       inplace_edit_callback* callback) noexcept
    : list_(list), flags_(flags), text_(text), callback_(callback) {}

qiv::ref_ptr<inplace_edit_popup> inplace_edit_popup::open(HWND list, RECT cell, unsigned line_count, unsigned flags,
                                                          inplace_edit_text* text, inplace_edit_callback* callback,
                                                          IEnumString* autocomplete, DWORD autocomplete_options) {
  qiv::ref_ptr<inplace_edit_text> record = text != nullptr ? text : new inplace_edit_text;
  // A line a one-line box cannot scroll through shows in rows.
  const bool one_line_in_rows = line_count <= 1 && too_wide_for_one_line_box(list, record->text);
  if (one_line_in_rows) line_count = inplace_edit::multi_line_rows;
  if (line_count > 1) {
    cell.bottom = cell.top + (cell.bottom - cell.top) * static_cast<LONG>(line_count);
    flags |= inplace_edit::flag_multi_line;
  }
  qiv::ref_ptr<inplace_edit_popup> popup(new inplace_edit_popup(list, flags, record.get(), callback));
  popup->one_line_in_rows_ = one_line_in_rows;
  popup->create(cell, autocomplete, autocomplete_options);
  return popup;
}

void inplace_edit_popup::create(const RECT& cell, IEnumString* autocomplete, DWORD autocomplete_options) {
  RECT client;
  GetClientRect(list_, &client);
  RECT place;
  if (!IntersectRect(&place, &cell, &client)) place = cell;
  const DWORD style = WS_CHILD | WS_BORDER | WS_CLIPCHILDREN;
  AdjustWindowRectEx(&place, style, FALSE, 0);
  create_window(*this, list_, &place, L"", style, 0, 0, popup_class());
  // The window holds the object until its last message (on_final_message).
  add_ref();

  const bool multi_line = (flags_ & inplace_edit::flag_multi_line) != 0;
  const std::string shown = multi_line ? with_crlf_breaks(text_->text) : text_->text;
  const bool rows_of_ours = one_line_in_rows_ || (multi_line && too_long_to_wrap(shown));
  // A centred or right-aligned multi-line edit always wraps by itself.
  const unsigned alignment = inplace_edit::flag_centred | inplace_edit::flag_right_aligned;
  const DWORD edit_styles = rows_of_ours ? edit_style(flags_ & ~alignment) | unwrapped_edit_styles : edit_style(flags_);
  RECT inside;
  GetClientRect(handle(), &inside);
  edit_ = CreateWindowExW(0, L"EDIT", L"", edit_styles, 0, 0, inside.right, inside.bottom, handle(),
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(inplace_edit::edit_control_id)),
                          GetModuleHandleW(nullptr), nullptr);
  if (edit_ == nullptr) {
    const DWORD error = GetLastError();
    destroy_once();
    throw exception_win32(error != 0 ? error : ERROR_CANNOT_MAKE);
  }
  SendMessageW(edit_, WM_SETFONT, SendMessageW(list_, WM_GETFONT, 0, 0), FALSE);
  // A cell may hold far more than the control's default limit of about
  // 30,000 characters, past which every typed key would be dropped.
  SendMessageW(edit_, EM_SETLIMITTEXT, 0, 0);
  // Without suggestions the edit still works: a failure here is not reported.
  // A box of rows gets none: suggestions belong to a one-line edit, and no
  // remembered value begins with a line of that width.
  if (autocomplete != nullptr && !one_line_in_rows_) attach_autocomplete(edit_, autocomplete, autocomplete_options);
  edit_object_.subclass(edit_);
  inplace_edit_mouse_hook::add(edit_, *this);
  set_edit_text_utf8(edit_, shown.c_str(), one_line_in_rows_ ? edit_rows_hold::one_line : edit_rows_hold::lines);
  SendMessageW(edit_, EM_SETSEL, 0, -1);
  SendMessageW(edit_, EM_EMPTYUNDOBUFFER, 0, 0);
  SetFocus(edit_);
  ShowWindow(handle(), SW_SHOW);
  shown_ = true;
}

void inplace_edit_popup::request_end(unsigned code) {
  if (end_requested_ || edit_ == nullptr || !IsWindowEnabled(edit_)) return;
  end_requested_ = true;
  const HWND window = handle();
  SendMessageW(window, message_hide, 0, 0);
  PostMessageW(window, message_finish, code, 0);
  EnableWindow(edit_, FALSE);
}

bool inplace_edit_popup::process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                                         DWORD map_id) {
  if (map_id == edit_map) {
    if (message == WM_GETDLGCODE) {
      result = DLGC_WANTALLKEYS;
      return true;
    }
    return on_edit_message(message, wparam);
  }
  switch (message) {
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      // The box wears the list's colours (a dark theme, say).
      result = SendMessageW(GetParent(window), message, wparam, lparam);
      return true;
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
      PostMessageW(window, message_finish, inplace_edit::end_lost, 0);
      result = 0;
      return true;
    case message_hide:
      hide();
      result = 0;
      return true;
    case message_finish:
      finish(static_cast<unsigned>(wparam));
      result = 0;
      return true;
    case WM_COMMAND:
      if (LOWORD(wparam) == inplace_edit::edit_control_id && HIWORD(wparam) == EN_CHANGE && shown_ && !hidden_) {
        qiv::string_buffer edited;
        get_edit_text_utf8(edit_, edited);
        text_->text.assign(edited.get_ptr(), edited.get_length());
        changed_ = true;
      }
      result = 0;
      return true;
    default:
      return false;
  }
}

bool inplace_edit_popup::on_edit_message(UINT message, WPARAM wparam) {
  switch (message) {
    case WM_KEYDOWN:
      if (wparam == VK_TAB) {
        request_end(GetKeyState(VK_SHIFT) < 0 ? inplace_edit::end_previous : inplace_edit::end_next);
        return true;
      }
      if (wparam == VK_RETURN) {
        if (control_key_down()) return false;
        request_end(inplace_edit::end_next_row);
        return true;
      }
      if (wparam == VK_ESCAPE) {
        request_end(inplace_edit::end_cancel);
        return true;
      }
      return false;
    case WM_CHAR:
      // The characters of the keys above would only beep (Ctrl+Enter gives
      // a line feed, which a multi-line edit takes as a line break).
      return wparam == '\t' || wparam == '\r' || wparam == 0x1B;
    case WM_KILLFOCUS:
      request_end(inplace_edit::end_lost);
      return false;
    case WM_DESTROY:
      inplace_edit_mouse_hook::remove(edit_);
      return false;
    default:
      return false;
  }
}

void inplace_edit_popup::hide() {
  ShowWindow(handle(), SW_HIDE);
  UpdateWindow(list_);
  hidden_ = true;
}

void inplace_edit_popup::finish(unsigned code) {
  if (code != inplace_edit::end_lost) SetFocus(list_);
  if (!finished_) {
    finished_ = true;
    if (changed_ && code != inplace_edit::end_cancel) code |= inplace_edit::commit_bit;
    // The callback may open the next box; this one goes whatever it does.
    qiv::ref_ptr<inplace_edit_callback> callback = std::move(callback_);
    try {
      if (callback) callback->done(code);
    } catch (...) {
      destroy_once();
      throw;
    }
  }
  destroy_once();
}

void inplace_edit_popup::destroy_once() noexcept {
  if (destroyed_) return;
  destroyed_ = true;
  if (handle() != nullptr) DestroyWindow(handle());
}

void inplace_edit_popup::on_final_message(HWND) {
  // Also when the list went first and took the box with it.
  if (edit_ != nullptr) inplace_edit_mouse_hook::remove(edit_);
  finished_ = true;
  release();
}

qiv::ref_ptr<inplace_edit_popup> edit_list_cell(HWND list, int item, int column, unsigned line_count, unsigned flags,
                                                inplace_edit_text* text, inplace_edit_callback* callback,
                                                IEnumString* autocomplete, DWORD autocomplete_options) {
  SendMessageW(list, LVM_ENSUREVISIBLE, item, FALSE);
  RECT cell = {};
  cell.top = column;
  cell.left = LVIR_LABEL;
  SendMessageW(list, LVM_GETSUBITEMRECT, item, reinterpret_cast<LPARAM>(&cell));
  return inplace_edit_popup::open(list, cell, line_count, flags, text, callback, autocomplete, autocomplete_options);
}
