#include "ui/menus/popup_message_window.h"

#include <cstring>

#include "core/app_state.h"
#include "core/main_thread_queue.h"
#include "core/popup_message.h"
#include "core/service_factory.h"
#include "foundation/main_thread.h"
#include "foundation/wide_buffer.h"
#include "foundation/win32_text.h"
#include "resources/popup_message_dialog.h"
#include "ui/framework/dialog_object.h"
#include "ui/framework/modeless_dialog_registration.h"

namespace {

std::string copy_text(const char* text, std::size_t length) {
  if (text == nullptr) return {};
  if (length == ~std::size_t(0)) return text;
  return std::string(text, strnlen(text, length));
}

std::wstring to_wide(const std::string& text) {
  return qiv::string_to_wide(text.c_str()).get_ptr();
}

class popup_message_dialog final : public dialog_object {
public:
  popup_message_dialog(std::wstring text, std::wstring caption)
      : text_(std::move(text)), caption_(std::move(caption)), field_(*this, field_map) {}

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD map_id) override {
    if (map_id == field_map) return process_field_message(message, wparam, lparam, result);
    registration_.process_message(window, message);
    switch (message) {
    case WM_INITDIALOG:
      on_init(window);
      result = TRUE;
      return true;
    case WM_CTLCOLORSTATIC: {
      // The read-only field looks like an editable one, not like the
      // dialog's face.
      const HDC dc = reinterpret_cast<HDC>(wparam);
      SetBkColor(dc, GetSysColor(COLOR_WINDOW));
      SetDCBrushColor(dc, GetSysColor(COLOR_WINDOW));
      SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
      result = reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
      return true;
    }
    case WM_SIZE:
      fit_field(window);
      return true;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        DestroyWindow(window);
        return true;
      }
      return false;
    case WM_CLOSE:
      DestroyWindow(window);
      return true;
    default:
      return false;
    }
  }

  void on_final_message(HWND) override { delete this; }
  // Once the window existed, its end deletes the object.
  bool window_made() const noexcept { return window_made_; }

private:
  static constexpr DWORD field_map = 1;

  void on_init(HWND window) {
    window_made_ = true;
    const HWND field = GetDlgItem(window, IDC_POPUP_MESSAGE_TEXT);
    fit_field(window);
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_EXSTYLE);
    if ((style & WS_EX_DLGMODALFRAME) == 0) {
      SetWindowLongPtrW(window, GWL_EXSTYLE, style | WS_EX_DLGMODALFRAME);
      SetWindowPos(window, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
    field_.subclass(field);
    SetWindowTextW(field, text_.c_str());
    SetWindowTextW(window, caption_.c_str());
    ShowWindow(window, SW_SHOWNORMAL);
  }

  // Focusing the field must not select all of its text.
  bool process_field_message(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    if (message != WM_GETDLGCODE) return false;
    result = field_.call_previous(message, wparam, lparam) & ~static_cast<LRESULT>(DLGC_HASSETSEL);
    return true;
  }

  static void fit_field(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    if (const HWND field = GetDlgItem(window, IDC_POPUP_MESSAGE_TEXT))
      MoveWindow(field, 0, 0, client.right - client.left, client.bottom - client.top, TRUE);
  }

  std::wstring text_;
  std::wstring caption_;
  modeless_dialog_registration registration_;
  contained_control field_;
  bool window_made_ = false;
};

void write_to_debugger(const std::string& caption, const std::string& text) {
  output_debug_string_utf8((caption + ": " + text + "\n").c_str());
}

// Main thread: the window now. Elsewhere: copies carried to the main thread.
void show_anywhere(HWND owner, const char* text, std::size_t text_length, const char* caption,
                   std::size_t caption_length) {
  std::string text_copy = copy_text(text, text_length);
  std::string caption_copy = copy_text(caption, caption_length);
  if (running_on_main_thread()) {
    popup_message_open(owner, text_copy.c_str(), ~std::size_t(0), caption_copy.c_str(), ~std::size_t(0));
    return;
  }
  main_thread_queue::post(new service_counted<main_thread_call>([owner, text_copy, caption_copy] {
    popup_message_open(owner, text_copy.c_str(), ~std::size_t(0), caption_copy.c_str(), ~std::size_t(0));
  }));
}

class popup_message_service : public popup_message {
public:
  void show(const char* text, std::size_t text_length, const char* caption, std::size_t caption_length,
            int) override {
    show_anywhere(nullptr, text, text_length, caption, caption_length);
  }
};

class popup_message_ex_service : public popup_message_ex {
public:
  void show(HWND owner, const char* text, std::size_t text_length, const char* caption,
            std::size_t caption_length) override {
    show_anywhere(owner, text, text_length, caption, caption_length);
  }
};

service_factory_single_t<popup_message_service> popup_message_registration;
service_factory_single_t<popup_message_ex_service> popup_message_ex_registration;

}  // namespace

std::wstring popup_message_field_text(const char* text, std::size_t length) {
  const std::wstring wide = to_wide(copy_text(text, length));
  std::wstring out;
  out.reserve(wide.size() + wide.size() / 8);
  for (wchar_t c : wide) {
    if (c == L'\r') continue;
    if (c == L'\n') out += L'\r';
    out += c;
  }
  return out;
}

HWND popup_message_open(HWND owner, const char* text, std::size_t text_length, const char* caption,
                        std::size_t caption_length) {
  const std::string caption_copy = copy_text(caption, caption_length);
  if (owner == nullptr) owner = app::state().ui_main_window;
  if (owner == nullptr) {
    // No window to show it over: keep the report where a developer finds it.
    write_to_debugger(caption_copy, copy_text(text, text_length));
    return nullptr;
  }
  auto* dialog = new popup_message_dialog(popup_message_field_text(text, text_length), to_wide(caption_copy));
  try {
    return dialog->create_modeless(IDD_POPUP_MESSAGE, owner);
  } catch (...) {
    if (!dialog->window_made()) delete dialog;
    throw;
  }
}
