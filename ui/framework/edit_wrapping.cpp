#include "ui/framework/edit_wrapping.h"

#include <commctrl.h>

#include <algorithm>

#include "foundation/clipboard_text.h"
#include "foundation/string_buffer.h"
#include "foundation/wide_buffer.h"
#include "foundation/win32_text.h"
#include "foundation/window_text.h"

namespace {

constexpr std::wstring_view soft_break = L"\r\r\n";
constexpr UINT_PTR soft_wrap_subclass_id = 1;

bool is_unwrapped_multi_line(HWND edit) noexcept {
  const DWORD style = DWORD(GetWindowLongW(edit, GWL_STYLE));
  return (style & ES_MULTILINE) != 0 && (style & ES_AUTOHSCROLL) != 0;
}

bool is_word_gap(wchar_t c) noexcept { return c == L' ' || c == L'\t'; }
bool is_low_surrogate(wchar_t c) noexcept { return c >= 0xDC00 && c <= 0xDFFF; }

// Where the first row of a line's `rest` ends, `fit` characters fitting.
std::size_t row_end(std::wstring_view rest, std::size_t fit) noexcept {
  if (fit >= rest.size()) return rest.size();
  std::size_t end = fit;
  if (end > 0 && is_word_gap(rest[end])) {
    // The word before fits whole; the gap stays at the row's end, as the
    // control's own wrapping keeps it.
    while (end < rest.size() && is_word_gap(rest[end])) ++end;
    return end;
  }
  for (std::size_t gap = end; gap > 1; --gap)
    if (is_word_gap(rest[gap - 1])) return gap;
  end = std::max<std::size_t>(end, 1);
  if (end < rest.size() && is_low_surrogate(rest[end])) end += end == 1 ? 1 : std::size_t(-1);
  // A carriage return before the soft break would make a line break of it.
  if (end < rest.size() && rest[end - 1] == L'\r') end += end == 1 ? 1 : std::size_t(-1);
  return end;
}

void add_rows(std::wstring& out, std::wstring_view line,
              const std::function<std::size_t(std::wstring_view rest)>& fitting) {
  while (!line.empty()) {
    const std::size_t end = row_end(line, fitting(line));
    out.append(line.substr(0, end));
    line.remove_prefix(end);
    if (!line.empty()) out.append(soft_break);
  }
}

// How many leading characters of a text fit `width` pixels in the font of
// `dc`, measuring a few rows' worth at a time so that a long line costs
// time in proportion to its length.
class row_measure {
public:
  row_measure(HWND edit) : edit_(edit), dc_(GetDC(edit)) {
    const HFONT font = reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0));
    if (dc_ != nullptr && font != nullptr) old_font_ = SelectObject(dc_, font);
    TEXTMETRICW metrics = {};
    if (dc_ != nullptr) GetTextMetricsW(dc_, &metrics);
    const int average = std::max<int>(metrics.tmAveCharWidth, 1);
    RECT format = {};
    SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    // A box not laid out yet still gets rows of a readable width; a pixel
    // to spare keeps the caret at a row's end inside the box.
    width_ = std::max<int>(format.right - format.left - 1, 20 * average);
    guess_ = std::size_t(width_ / average) * 2 + 16;
  }
  ~row_measure() {
    if (dc_ == nullptr) return;
    if (old_font_ != nullptr) SelectObject(dc_, old_font_);
    ReleaseDC(edit_, dc_);
  }
  row_measure(const row_measure&) = delete;
  row_measure& operator=(const row_measure&) = delete;

  bool valid() const noexcept { return dc_ != nullptr; }

  std::size_t fitting(std::wstring_view rest) const noexcept {
    std::size_t window = std::min(rest.size(), guess_);
    for (;;) {
      int fit = 0;
      SIZE size = {};
      // A failed measure keeps the rest on one row: shown, if not wrapped.
      if (!GetTextExtentExPointW(dc_, rest.data(), int(window), width_, &fit, nullptr, &size)) return rest.size();
      if (std::size_t(fit) < window || window == rest.size()) return std::size_t(fit);
      window = std::min(rest.size(), window * 2);
    }
  }

private:
  HWND edit_;
  HDC dc_;
  HGDIOBJ old_font_ = nullptr;
  int width_ = 0;
  std::size_t guess_ = 0;
};

// The text with soft breaks at the box's width (none when it cannot be
// measured).
std::wstring rows_for(HWND edit, std::wstring_view text) {
  const row_measure measure(edit);
  if (!measure.valid()) return std::wstring(text);
  return with_soft_breaks(text, [&](std::wstring_view rest) { return measure.fitting(rest); });
}

std::wstring edit_text(HWND edit) {
  std::wstring units(std::size_t(std::max(GetWindowTextLengthW(edit), 0)) + 1, L'\0');
  units.resize(std::size_t(std::max(GetWindowTextW(edit, units.data(), int(units.size())), 0)));
  return units;
}

// Backspace at a row's start and Delete at its end would only take out the
// soft break between the rows: they take out the character beyond it and
// keep the break. Answers whether the key was handled so.
bool delete_across_soft_break(HWND edit, bool forward) {
  if ((GetWindowLongW(edit, GWL_STYLE) & ES_READONLY) != 0) return false;
  DWORD start = 0, end = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  if (start != end) return false;
  const LRESULT line = SendMessageW(edit, EM_LINEFROMCHAR, end, 0);
  const LRESULT line_start = SendMessageW(edit, EM_LINEINDEX, line, 0);
  const bool at_edge = forward ? LRESULT(end) == line_start + SendMessageW(edit, EM_LINELENGTH, end, 0)
                               : LRESULT(end) == line_start;
  if (!at_edge) return false;
  const std::wstring text = edit_text(edit);
  const std::size_t at = end;
  if (at > text.size()) return false;
  std::size_t from = 0, to = 0;
  if (forward) {
    if (text.compare(at, soft_break.size(), soft_break) != 0) return false;
    from = at + soft_break.size();
    to = from + (from + 1 < text.size() && is_low_surrogate(text[from + 1]) ? 2 : 1);
  } else {
    if (at < soft_break.size() || text.compare(at - soft_break.size(), soft_break.size(), soft_break) != 0)
      return false;
    to = at - soft_break.size();
    from = to - (to >= 2 && is_low_surrogate(text[to - 1]) ? 2 : 1);
  }
  // No character there but the end of a line or another break: the
  // control's own handling joins the rows.
  if (to > text.size() || from >= to || text[from] == L'\r' || text[from] == L'\n') return false;
  if (forward) {
    SendMessageW(edit, EM_SETSEL, from, to);
    SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L""));
    SendMessageW(edit, EM_SETSEL, at, at);
  } else {
    SendMessageW(edit, EM_SETSEL, from, to);
    SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L""));
  }
  SendMessageW(edit, EM_SCROLLCARET, 0, 0);
  return true;
}

// A copy holds the user's text, not the rows it is shown in. Answers
// whether the message was handled so.
bool copy_without_soft_breaks(HWND edit, bool cut) {
  DWORD start = 0, end = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  if (start >= end) return false;
  const std::wstring text = edit_text(edit);
  if (end > text.size()) return false;
  const std::wstring selected = without_soft_breaks(std::wstring_view(text).substr(start, end - start));
  qiv::string_buffer copied;
  wide_to_utf8(selected.data(), selected.size(), copied);
  // A clipboard another program holds takes nothing, and a cut then
  // deletes nothing.
  if (set_clipboard_text_utf8(copied.get_ptr()) && cut) SendMessageW(edit, WM_CLEAR, 0, 0);
  return true;
}

// A pasted text shows in rows too. A soft break of its own would be lost
// on reading: it is taken as the line break it shows.
bool paste_in_rows(HWND edit, edit_rows_hold holds) {
  if ((GetWindowLongW(edit, GWL_STYLE) & ES_READONLY) != 0) return false;
  qiv::string_buffer clipboard;
  if (!get_clipboard_text_utf8(clipboard)) return false;
  const qiv::wide_buffer wide = qiv::string_to_wide(clipboard.get_ptr());
  std::wstring pasted(wide.get_ptr(), wide.text_length());
  for (std::size_t at; (at = pasted.find(soft_break)) != std::wstring::npos;) pasted.erase(at, 1);
  if (holds == edit_rows_hold::one_line) {
    const std::size_t line_end = pasted.find(L'\n');
    if (line_end != std::wstring::npos)
      pasted.resize(line_end > 0 && pasted[line_end - 1] == L'\r' ? line_end - 1 : line_end);
  }
  const std::wstring rows = rows_for(edit, pasted);
  SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(rows.c_str()));
  return true;
}

// The soft-wrapping state of a box is this subclass: present while its
// text holds the program's soft breaks; its data is what the box holds.
LRESULT CALLBACK soft_wrap_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                     DWORD_PTR data) {
  const auto holds = static_cast<edit_rows_hold>(data);
  // Ctrl+Enter's line feed.
  if (message == WM_CHAR && wparam == L'\n' && holds == edit_rows_hold::one_line) return 0;
  try {
    if (message == WM_PASTE && paste_in_rows(window, holds)) return 0;
    const bool plain_key = GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_MENU) >= 0;
    if (message == WM_CHAR && wparam == VK_BACK && plain_key && delete_across_soft_break(window, false)) return 0;
    if (message == WM_KEYDOWN && wparam == VK_DELETE && plain_key && delete_across_soft_break(window, true)) return 0;
    if ((message == WM_COPY || message == WM_CUT) && copy_without_soft_breaks(window, message == WM_CUT)) return 0;
  } catch (...) {
    // Out of memory for a copy of the text: the control's own handling
    // still deletes (if only the break), copies (with the breaks) and
    // pastes (in one row).
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(window, soft_wrap_procedure, id);
  return DefSubclassProc(window, message, wparam, lparam);
}

bool has_soft_breaks(HWND edit) noexcept {
#ifdef _WIN64
  // MinGW-w64's 64-bit import library lacks this export of the common
  // controls (the 64-bit build runs only the tests, see tools/machine-target).
  using get_window_subclass_function = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR*);
  static const auto GetWindowSubclass = reinterpret_cast<get_window_subclass_function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"comctl32.dll"), "GetWindowSubclass")));
  if (GetWindowSubclass == nullptr) return false;
#endif
  return GetWindowSubclass(edit, soft_wrap_procedure, soft_wrap_subclass_id, nullptr) != FALSE;
}

}  // namespace

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

std::wstring without_soft_breaks(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    if (text.compare(at, soft_break.size(), soft_break) == 0) {
      at += soft_break.size();
    } else {
      out += text[at];
      ++at;
    }
  }
  return out;
}

std::wstring with_soft_breaks(std::wstring_view text,
                              const std::function<std::size_t(std::wstring_view rest)>& fitting) {
  std::wstring out;
  out.reserve(text.size() + text.size() / 8);
  for (;;) {
    const std::size_t line_end = text.find(L'\n');
    std::wstring_view line = text.substr(0, line_end);
    // The control ends a line at LF and at CR LF.
    const bool crlf = line_end != std::wstring_view::npos && !line.empty() && line.back() == L'\r';
    if (crlf) line.remove_suffix(1);
    add_rows(out, line, fitting);
    if (line_end == std::wstring_view::npos) return out;
    out.append(crlf ? L"\r\n" : L"\n");
    text.remove_prefix(line_end + 1);
  }
}

bool too_wide_for_one_line_box(HWND font_source, std::string_view text) {
  // No character of a list's font is 64 pixels wide.
  if (text.size() < std::size_t(widest_one_line_box / 64)) return false;
  const HDC dc = GetDC(font_source);
  if (dc == nullptr) return false;
  const HFONT font = reinterpret_cast<HFONT>(SendMessageW(font_source, WM_GETFONT, 0, 0));
  const HGDIOBJ old_font = font != nullptr ? SelectObject(dc, font) : nullptr;
  const qiv::wide_buffer wide = qiv::utf8_to_wide_buffer(text.data(), text.size());
  SIZE size = {};
  const bool measured = GetTextExtentPoint32W(dc, wide.get_ptr(), int(wide.text_length()), &size) != FALSE;
  if (old_font != nullptr) SelectObject(dc, old_font);
  ReleaseDC(font_source, dc);
  return measured && size.cx > widest_one_line_box;
}

bool set_edit_text_utf8(HWND edit, const char* text, edit_rows_hold holds) {
  if (!is_unwrapped_multi_line(edit)) return set_window_text_utf8(edit, text);
  const qiv::wide_buffer wide = qiv::string_to_wide(text);
  const std::wstring_view units(wide.get_ptr(), wide.text_length());
  // Reading takes out every soft break, so a text that holds one of its
  // own is shown unwrapped.
  if (units.find(soft_break) != std::wstring_view::npos ||
      !SetWindowSubclass(edit, soft_wrap_procedure, soft_wrap_subclass_id, DWORD_PTR(holds))) {
    RemoveWindowSubclass(edit, soft_wrap_procedure, soft_wrap_subclass_id);
    return SetWindowTextW(edit, wide.get_ptr()) != FALSE;
  }
  return SetWindowTextW(edit, rows_for(edit, units).c_str()) != FALSE;
}

bool get_edit_text_utf8(HWND edit, qiv::string_object& output) {
  if (!has_soft_breaks(edit)) return get_window_text_utf8(edit, output);
  const std::wstring text = without_soft_breaks(edit_text(edit));
  wide_to_utf8(text.data(), text.size(), output);
  return true;
}
