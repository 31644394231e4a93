#include "ui/dialogs/replaygain_settings.h"

#include <string>

#include "core/config_item_registrations.h"
#include "core/localized_text.h"
#include "core/localized_window_text.h"
#include "core/service_factory.h"
#include "foundation/code_page_text.h"
#include "foundation/crash.h"
#include "foundation/main_thread.h"
#include "foundation/win32_handles.h"
#include "foundation/window_text.h"
#include "playback/playback_front.h"
#include "resources/preferences_dialogs.h"
#include "ui/dialogs/replaygain_panel.h"
#include "ui/framework/modal_dialog.h"
#include "ui/framework/window_utilities.h"

namespace {

// The playback thread reads the settings while the preferences change them.
critical_section& settings_lock() {
  static critical_section lock;
  return lock;
}

class replaygain_dialog final : public modal_dialog {
public:
  replaygain_dialog(playback_gain_settings& record, const char* title_suffix) noexcept
      : record_(record), title_suffix_(title_suffix) {}

private:
  INT_PTR on_message(UINT message, WPARAM wparam, LPARAM) override {
    switch (message) {
      case WM_INITDIALOG:
        on_initialise();
        return TRUE;
      case WM_COMMAND:
        if (LOWORD(wparam) == IDOK) {
          replaygain_settings_service().read_panel(panel_, record_);
          EndDialog(handle(), 1);
          return TRUE;
        }
        if (LOWORD(wparam) == IDCANCEL) {
          EndDialog(handle(), 0);
          return TRUE;
        }
        return FALSE;
      default:
        return FALSE;
    }
  }

  void on_initialise() {
    set_localized_window_text(handle(), "replaygain_settings_caption", "ReplayGain settings");
    set_localized_item_text(handle(), IDOK, "dialog_ok", "OK");
    set_localized_item_text(handle(), IDCANCEL, "dialog_cancel", "Cancel");
    if (title_suffix_ != nullptr) {
      localized_values values;
      values.insert(qiv::string_small("title")).node->value = qiv::string_small(title_suffix_);
      qiv::string_small caption;
      if (!localized_text_format("replaygain_settings_caption_for", values, caption))
        caption.set_string((std::string("ReplayGain Settings - ") + title_suffix_).c_str());
      set_window_text_utf8(handle(), caption.get_ptr());
    }
    panel_ = replaygain_panel::create(record_, handle(), IDC_PLAYBACK_REPLAYGAIN_PANEL);
    // Centred across, with the margin above equal to the margin beside.
    RECT client, panel;
    GetClientRect(handle(), &client);
    GetWindowRect(panel_, &panel);
    const int margin = (client.right - (panel.right - panel.left)) / 2;
    SetWindowPos(panel_, nullptr, margin, margin, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }

  playback_gain_settings& record_;
  const char* title_suffix_;
  HWND panel_ = nullptr;
};

class replaygain_settings_impl : public replaygain_settings {
public:
  playback_gain_settings get() override {
    critical_section_lock hold(settings_lock());
    return config::playback_gain.get();
  }

  HWND create_panel(const playback_gain_settings& record, HWND parent, int control_id) override {
    return replaygain_panel::create(record, parent, control_id);
  }

  void read_panel(HWND panel, playback_gain_settings& out) override {
    SendMessageW(panel, replaygain_panel::message_read, 0, reinterpret_cast<LPARAM>(&out));
  }

  bool edit_modal(playback_gain_settings& record, HWND parent, const char* title_suffix) override {
    playback_gain_settings edited = record;
    replaygain_dialog dialog(edited, title_suffix);
    if (dialog.run_modal(IDD_REPLAYGAIN_DIALOG, parent) != 1) return false;
    record = edited;
    return true;
  }

  void set(const playback_gain_settings& record) override {
    if (!is_main_thread()) qiv::crash();
    {
      critical_section_lock hold(settings_lock());
      config::playback_gain.set(record);
    }
    if (playback_engine* engine = playback_front_get().engine()) engine->set_replaygain(record);
  }

  void write_panel(HWND panel, const playback_gain_settings& record) override {
    SendMessageW(panel, replaygain_panel::message_write, 0, reinterpret_cast<LPARAM>(&record));
  }

  playback_gain_settings get_defaults() override { return playback_gain_settings{}; }
};

service_factory_single_t<replaygain_settings_impl> replaygain_settings_registration;

}  // namespace

replaygain_settings& replaygain_settings_service() { return replaygain_settings_registration.get_static_instance(); }
