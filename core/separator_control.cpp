#include "core/separator_control.h"

#include "core/app_state.h"
#include "core/callback_guard.h"
#include "foundation/win32_error.h"

namespace {

// What each separator window keeps, in its first extra window word.
struct separator_state {
  HFONT font = nullptr;
};

separator_state* separator_state_of(HWND window) noexcept {
  return reinterpret_cast<separator_state*>(GetWindowLongPtrW(window, 0));
}

LRESULT handle_separator_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
  case WM_NCCREATE:
    SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(new separator_state()));
    break;
  case WM_NCDESTROY: {
    separator_state* state = separator_state_of(window);
    // Cleared first, so that nothing reaching the window during its last
    // messages finds freed memory.
    SetWindowLongPtrW(window, 0, 0);
    delete state;
    break;
  }
  case WM_PAINT:
    separator_control::paint(window);
    return 0;
  case WM_SETFONT:
    if (separator_state* state = separator_state_of(window)) state->font = reinterpret_cast<HFONT>(wparam);
    if (LOWORD(lparam) != 0) InvalidateRect(window, nullptr, TRUE);
    return 0;
  case WM_GETFONT:
    return reinterpret_cast<LRESULT>(separator_control::get_font(window));
  case WM_SETTEXT:
    InvalidateRect(window, nullptr, TRUE);
    break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK separator_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  // A failed WM_NCCREATE answers FALSE, so that the window is not created.
  return guard_callback<LRESULT>(0, [&] { return handle_separator_message(window, message, wparam, lparam); });
}

}  // namespace

namespace separator_control {

void register_class() {
  const HINSTANCE instance = app::state().instance_handle;
  WNDCLASSW window_class = {};
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = separator_window_procedure;
  window_class.cbWndExtra = sizeof(LONG_PTR);
  window_class.hInstance = instance != nullptr ? instance : GetModuleHandleW(nullptr);
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = class_name;
  // Once per process: a second call finds the class and leaves it.
  WNDCLASSW existing;
  if (GetClassInfoW(window_class.hInstance, class_name, &existing)) return;
  SetLastError(0);
  if (RegisterClassW(&window_class) == 0) throw exception_win32(GetLastError());
}

void paint(HWND window) {
  PAINTSTRUCT paint_info;
  const HDC dc = BeginPaint(window, &paint_info);
  if (dc == nullptr) return;
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  const int length = lstrlenW(text);
  RECT client;
  GetClientRect(window, &client);

  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  SetBkMode(dc, TRANSPARENT);
  // The parent's background, as for a static control on a themed page.
  const auto brush = reinterpret_cast<HBRUSH>(
      SendMessageW(GetParent(window), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(window)));
  if (brush != nullptr) FillRect(dc, &client, brush);

  const HGDIOBJ previous_font = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
  if (length != 0) {
    RECT text_box = client;
    DrawTextW(dc, text, length, &text_box, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  }
  SIZE text_size = {};
  GetTextExtentPoint32W(dc, text, length, &text_size);
  int gap = 0;
  if (text_size.cx != 0) {
    // A quarter of a "#" (measured with the NUL after it) between the text
    // and the line.
    SIZE mark = {};
    GetTextExtentPoint32W(dc, L"#\0", 2, &mark);
    gap = mark.cx / 4;
  }
  if (text_size.cx + gap < client.right - client.left) {
    RECT line = {client.left + text_size.cx + gap, (client.top + client.bottom) / 2, client.right, client.bottom};
    DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
  }
  if (previous_font != nullptr) SelectObject(dc, previous_font);
  EndPaint(window, &paint_info);
}

HFONT get_font(HWND window) noexcept {
  const separator_state* state = separator_state_of(window);
  return state != nullptr ? state->font : nullptr;
}

}  // namespace separator_control
