#include "playback/playback_error_popup.h"

#include <vector>

#include "core/advanced_settings_registrations.h"
#include "core/app_state.h"
#include "core/callback_guard.h"
#include "core/dialog_registry.h"
#include "foundation/string_small.h"
#include "foundation/time_format.h"
#include "foundation/win32_text.h"
#include "foundation/window_text.h"

namespace {

constexpr int edit_field_id = 1077;

struct popup_state {
  HWND window = nullptr;
  std::uint32_t count = 0;
  DWORD closed_at = 0;
  bool closed_this_run = false;
};

popup_state& error_popup_state() {
  static popup_state s;
  return s;
}

void fit_edit_field(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  SetWindowPos(GetDlgItem(window, edit_field_id), nullptr, 0, 0, client.right, client.bottom,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK popup_procedure(HWND window, UINT message, WPARAM wparam, LPARAM) {
  return guard_callback<INT_PTR>(FALSE, [&]() -> INT_PTR {
    popup_state& s = error_popup_state();
    switch (message) {
    case WM_INITDIALOG:
      s.window = window;
      fit_edit_field(window);
      if (!(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME))
        SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_DLGMODALFRAME);
      SetWindowTextW(window, L"Playback error");
      dialog_registry::get().add(window);
      s.count = 0;
      ShowWindow(window, SW_SHOWNOACTIVATE);
      return FALSE;
    case WM_SIZE:
      fit_edit_field(window);
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(window);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) DestroyWindow(window);
      return TRUE;
    case WM_DESTROY:
      dialog_registry::get().remove(window);
      s.window = nullptr;
      s.closed_at = GetTickCount();
      s.count = 0;
      s.closed_this_run = true;
      return TRUE;
    case WM_CTLCOLORSTATIC:
      SetBkColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_WINDOW));
      SetDCBrushColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_WINDOW));
      return reinterpret_cast<INT_PTR>(GetStockObject(DC_BRUSH));
    default:
      return FALSE;
    }
  });
}

// A resizable dialog holding one read-only multi-line edit field, built in
// memory so that the popup needs no resource of its own.
std::vector<WORD> popup_template() {
  std::vector<WORD> t;
  auto add_dword = [&](DWORD value) {
    t.push_back(LOWORD(value));
    t.push_back(HIWORD(value));
  };
  add_dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_SETFONT | DS_MODALFRAME);
  add_dword(0);
  t.push_back(1);  // one control
  for (short value : {0, 0, 320, 160}) t.push_back(static_cast<WORD>(value));
  t.push_back(0);  // no menu
  t.push_back(0);  // default class
  t.push_back(0);  // no title yet
  t.push_back(8);
  for (const wchar_t* c = L"MS Shell Dlg"; *c; ++c) t.push_back(*c);
  t.push_back(0);
  if (t.size() % 2) t.push_back(0);  // the item starts on a DWORD
  add_dword(WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL);
  add_dword(0);
  for (short value : {0, 0, 320, 160}) t.push_back(static_cast<WORD>(value));
  t.push_back(edit_field_id);
  t.push_back(0xFFFF);
  t.push_back(0x0081);  // edit
  t.push_back(0);       // no text
  t.push_back(0);       // no creation data
  return t;
}

void append(HWND window, const char* text) {
  qiv::string_small current;
  get_window_text_utf8(GetDlgItem(window, edit_field_id), current);
  std::string joined = current.get_ptr();
  joined += "\r\n\r\n";
  joined += text;
  set_window_text_utf8(GetDlgItem(window, edit_field_id), joined.c_str());
}

}  // namespace

namespace playback_error_popup {

bool keeps_quiet(bool closed_this_run, DWORD closed_at, DWORD now) noexcept {
  return closed_this_run && now - closed_at <= quiet_after_close_ms;
}

void show(const char* text) {
  popup_state& s = error_popup_state();
  if (s.window == nullptr) {
    if (!advanced_settings::show_error_popups.get_state()) return;
    if (keeps_quiet(s.closed_this_run, s.closed_at, GetTickCount())) return;
    // Without a main window ("/quiet", console tools) the report goes to the
    // debugger output rather than into a window nobody looks at.
    if (app::state().ui_main_window == nullptr) {
      output_debug_string_utf8(text);
      output_debug_string_utf8("\n");
      return;
    }
    const std::vector<WORD> layout = popup_template();
    CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(layout.data()),
                               app::state().ui_main_window, popup_procedure, 0);
    if (s.window == nullptr) return;
    set_window_text_utf8(GetDlgItem(s.window, edit_field_id), text);
    s.count = 1;
  } else if (s.count < most_messages) {
    append(s.window, text);
    ++s.count;
  } else if (s.count == most_messages) {
    append(s.window, "(...)");
    ++s.count;
  }
}

void start_new_run() { error_popup_state().closed_this_run = false; }

HWND window() noexcept { return error_popup_state().window; }

std::string text() {
  qiv::string_small current;
  if (error_popup_state().window != nullptr) get_window_text_utf8(GetDlgItem(error_popup_state().window, edit_field_id), current);
  return current.get_ptr();
}

}  // namespace playback_error_popup

std::string playback_item_error_text(std::uint32_t kind, const track_handle* track, double seconds,
                                     const char* message) {
  const std::string time = qiv::format_time_ex(seconds, 3).get_ptr();
  std::string text;
  switch (kind) {
  case 0: text = std::string("Unable to open item for playback (") + message + ")"; break;
  case 1: text = "Unable to seek to " + time + " (" + message + ")"; break;
  case 2: text = "Decoding failure at " + time + " (" + message + ")"; break;
  case 3: text = "Unable to resume decoding at " + time + " (" + message + ")"; break;
  case 4: text = std::string("Unable to parse file information (") + message + ")"; break;
  default:
    text = std::string("Unknown error (") + message + ")";
    if (track == nullptr) return text;
  }
  qiv::string_small location("[invalid location]");
  if (track != nullptr && *track->get_location().get_path() != '\0') track->get_location().format_for_display(location);
  return text + ":\r\n" + location.get_ptr();
}
