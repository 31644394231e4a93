#include "ui/dialogs/dsp_chain_settings.h"

#include <string>

#include "core/config_item_registrations.h"
#include "core/localized_window_text.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/crash.h"
#include "foundation/main_thread.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"
#include "foundation/window_text.h"
#include "playback/playback_front.h"
#include "resources/dsp_dialogs.h"
#include "ui/dialogs/dsp_chain_editor.h"
#include "ui/framework/modal_dialog.h"

namespace {

// The host of the editor: OK takes the edited chain, Cancel leaves the
// caller's chain alone.
class dsp_settings_dialog final : public modal_dialog {
public:
  dsp_settings_dialog(dsp_chain& chain, const char* title) : chain_(chain), title_(title ? title : "") {}

protected:
  INT_PTR on_message(UINT message, WPARAM wparam, LPARAM) override {
    const HWND dialog = handle();
    switch (message) {
      case WM_INITDIALOG: {
        const HWND editor = dsp_chain_settings::get().create_editor(chain_, dialog, editor_id, true);
        RECT client, ok;
        GetClientRect(dialog, &client);
        GetWindowRect(GetDlgItem(dialog, IDOK), &ok);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&ok), 2);
        const int gap = client.bottom - ok.bottom;
        SetWindowPos(editor, nullptr, 0, 0, client.right, ok.top - gap, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        set_localized_window_text(dialog, "dsp_settings_caption", "DSP Settings");
        set_localized_item_text(dialog, IDOK, "dialog_ok", "OK");
        set_localized_item_text(dialog, IDCANCEL, "dialog_cancel", "Cancel");
        if (!title_.empty()) {
          qiv::string_buffer caption;
          get_window_text_utf8(dialog, caption);
          set_window_text_utf8(dialog, (std::string(caption.get_ptr()) + " - " + title_).c_str());
        }
        return TRUE;
      }
      case WM_COMMAND:
        if (LOWORD(wparam) == IDOK) {
          dsp_chain_settings::get().editor_get_chain(GetDlgItem(dialog, editor_id), chain_);
          EndDialog(dialog, 1);
          return TRUE;
        }
        if (LOWORD(wparam) == IDCANCEL) {
          EndDialog(dialog, 0);
          return TRUE;
        }
        return FALSE;
      default:
        return FALSE;
    }
  }

private:
  static constexpr UINT editor_id = 123;
  dsp_chain& chain_;
  std::string title_;
};

int ask_with_message_box(HWND owner, const char* text, const char* caption, UINT flags) {
  return message_box_utf8(owner, text, caption, flags);
}

class dsp_chain_settings_impl : public dsp_chain_settings {
public:
  void get_chain(dsp_chain& out) override {
    if (!is_main_thread()) qiv::crash();
    out = config::active_dsp_chain.value();
  }

  void set_chain(const dsp_chain& chain) override {
    if (!is_main_thread()) qiv::crash();
    config::active_dsp_chain.value() = chain;
    for (const service_ptr<dsp_config_listener>& listener : service_list_t<dsp_config_listener>())
      listener->on_chain_changed(config::active_dsp_chain.value());
  }

  bool run_dialog(dsp_chain& chain, HWND parent, const char* title) override {
    dsp_chain edited = chain;
    dsp_settings_dialog dialog(edited, title);
    if (dialog.run_modal(IDD_DSP_SETTINGS, parent) != 1) return false;
    chain = edited;
    return true;
  }

  HWND create_editor(const dsp_chain& chain, HWND parent, UINT control_id, bool in_modal_frame) override {
    return dsp_chain_editor::create(chain, parent, control_id, in_modal_frame, config::dsp_presets.value(),
                                    &ask_with_message_box);
  }

  void editor_get_chain(HWND editor, dsp_chain& out) override {
    SendMessageW(editor, dsp_chain_editor::message_get_chain, 0, reinterpret_cast<LPARAM>(&out));
  }

  void editor_set_chain(HWND editor, const dsp_chain& chain) override {
    SendMessageW(editor, dsp_chain_editor::message_set_chain, 0, reinterpret_cast<LPARAM>(&chain));
  }
};

service_factory_single_t<dsp_chain_settings_impl> settings_registration;

}  // namespace

dsp_chain_settings& dsp_chain_settings::get() { return settings_registration.get_static_instance(); }
