// The "Playback" preferences page: the output device, listed per output
// module, and the ReplayGain settings panel. Applying a new device switches
// the output over at once; the dialog then reopens the playback output.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/config_item_registrations.h"
#include "core/localized_text.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/byte_compare.h"
#include "foundation/code_page_text.h"
#include "foundation/guid_equal.h"
#include "playback/output/output_module.h"
#include "playback/playback_front.h"
#include "resources/preferences_dialogs.h"
#include "ui/dialogs/preferences_page.h"
#include "ui/dialogs/replaygain_settings.h"
#include "ui/framework/dialog_object.h"
#include "ui/framework/dialog_resizer.h"
#include "ui/framework/window_utilities.h"
#include "ui/menus/balloon_tip.h"

namespace {

constexpr GUID playback_page_guid = {0x67508677, 0xCFCC, 0x4A1C, {0x92, 0x1C, 0x49, 0xB3, 0x9C, 0xC5, 0xB9, 0x86}};
// Posted when the configured device is not in the list.
constexpr UINT message_missing_device = WM_APP;
// Module flag: the list names each device's module.
constexpr std::uint32_t module_flag_show_name = 0x8;

struct output_choice {
  GUID module;
  GUID device;
};

class playback_page_instance : public preferences_page_instance, public dialog_object {
public:
  explicit playback_page_instance(service_ptr<preferences_page_callback> callback) noexcept
      : callback_(std::move(callback)) {
    // The page follows the width the dialog gives it, which on a small screen
    // at a high DPI is less than the page was drawn for.
    using r = dialog_resizer;
    const std::uint32_t anchors[] = {
        r::packed(IDC_PLAYBACK_DEVICE_SEPARATOR, r::stretch_x), r::packed(IDC_PLAYBACK_DEVICE, r::stretch_x),
        r::packed(IDC_PLAYBACK_REPLAYGAIN_SEPARATOR, r::stretch_x),
        r::packed(IDC_PLAYBACK_REPLAYGAIN_FRAME, r::stretch_x)};
    resizer_.set_packed_anchors(anchors, std::size(anchors));
  }
  ~playback_page_instance() {
    if (handle() != nullptr) DestroyWindow(handle());
  }

  void create(HWND parent) { create_modeless(IDD_PREFERENCES_PLAYBACK, parent); }

  std::uint32_t get_state() override {
    return preferences_state::has_reset |
           (changed_ ? preferences_state::changed | preferences_state::reopen_output : 0);
  }
  HWND get_wnd() override { return handle(); }
  void apply() override;
  void reset() override;

private:
  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD map_id) override;
  void on_initialise();
  void list_devices();
  bool select_choice(const GUID& module, const GUID& device);
  const output_choice* selected_choice() const;
  void mark_changed();
  void place_panel();
  HWND combo() const { return GetDlgItem(handle(), IDC_PLAYBACK_DEVICE); }

  service_ptr<preferences_page_callback> callback_;
  bool changed_ = false;
  HWND panel_ = nullptr;
  std::vector<std::unique_ptr<output_choice>> choices_;
  gdi_object_holder separator_font_;
  balloon_tip balloon_;
  dialog_resizer resizer_;
};

void playback_page_instance::on_initialise() {
  const HWND dialog = handle();
  const auto set_text = [dialog](int id, const char* text_id) {
    const char* text = localized_text_get(text_id);
    SetDlgItemTextW(dialog, id, qiv::utf8_to_utf16(text, std::char_traits<char>::length(text)).c_str());
  };
  set_text(IDC_PLAYBACK_DEVICE_SEPARATOR, "preferences_playback_device");
  set_text(IDC_PLAYBACK_REPLAYGAIN_SEPARATOR, "preferences_playback_replaygain");
  HFONT bold;
  font_with_scaled_height_and_weight(bold, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), FW_BOLD,
                                     1.3);
  separator_font_.reset(bold);
  for (int id : {IDC_PLAYBACK_DEVICE_SEPARATOR, IDC_PLAYBACK_REPLAYGAIN_SEPARATOR})
    SendDlgItemMessageW(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(bold), FALSE);

  replaygain_settings& settings = replaygain_settings_service();
  panel_ = settings.create_panel(settings.get(), dialog, IDC_PLAYBACK_REPLAYGAIN_PANEL);
  place_panel();
  ShowWindow(panel_, SW_SHOWNA);

  list_devices();
  GUID module, device;
  {
    critical_section_lock hold(output_configuration_lock());
    module = config::output_module.get();
    device = config::output_device.get();
  }
  if (!select_choice(module, device)) PostMessageW(dialog, message_missing_device, 0, 0);
}

void playback_page_instance::place_panel() {
  RECT frame;
  if (panel_ != nullptr && get_control_rect_in_parent(handle(), IDC_PLAYBACK_REPLAYGAIN_FRAME, frame))
    set_window_pos_rect(panel_, nullptr, frame, SWP_NOZORDER | SWP_NOACTIVATE);
}

void playback_page_instance::list_devices() {
  auto modules = service_list_t<output_module>();
  bool show_module_names = false;
  for (auto& module : modules) show_module_names = show_module_names || (module->get_flags() & module_flag_show_name);
  std::vector<output_module*> ordered;
  for (auto& module : modules) ordered.push_back(module.get());
  std::stable_sort(ordered.begin(), ordered.end(), [](output_module* a, output_module* b) {
    return qiv::stricmp_ascii(a->get_name(), b->get_name()) < 0;
  });

  class adder : public output_device_enum_callback {
  public:
    adder(playback_page_instance& page, output_module& module, bool show_name)
        : page_(page), module_(module), prefix_(show_name && *module.get_name() != '\0') {}
    void on_device(const GUID& device, const char* description, std::size_t length) override {
      std::string text = length == static_cast<std::size_t>(-1) ? std::string(description)
                                                                 : std::string(description, length);
      if (prefix_) text = std::string(module_.get_name()) + " : " + text;
      const std::wstring wide = qiv::utf8_to_utf16(text.c_str(), text.size());
      const auto index = SendMessageW(page_.combo(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
      if (index < 0) return;
      page_.choices_.push_back(std::make_unique<output_choice>(output_choice{module_.get_guid(), device}));
      SendMessageW(page_.combo(), CB_SETITEMDATA, static_cast<WPARAM>(index),
                   reinterpret_cast<LPARAM>(page_.choices_.back().get()));
    }

  private:
    playback_page_instance& page_;
    output_module& module_;
    bool prefix_;
  };
  for (output_module* module : ordered) {
    adder add(*this, *module, show_module_names);
    module->enumerate_devices(add);
  }
}

bool playback_page_instance::select_choice(const GUID& module, const GUID& device) {
  const auto count = SendMessageW(combo(), CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const auto* choice = reinterpret_cast<const output_choice*>(SendMessageW(combo(), CB_GETITEMDATA, i, 0));
    if (choice == nullptr || reinterpret_cast<LRESULT>(choice) == CB_ERR) continue;
    if (!qiv::guid_equal(choice->module, module) || !qiv::guid_equal(choice->device, device)) continue;
    SendMessageW(combo(), CB_SETCURSEL, static_cast<WPARAM>(i), 0);
    return true;
  }
  SendMessageW(combo(), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  return false;
}

const output_choice* playback_page_instance::selected_choice() const {
  const auto index = SendMessageW(combo(), CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return nullptr;
  const auto data = SendMessageW(combo(), CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
  return data == CB_ERR ? nullptr : reinterpret_cast<const output_choice*>(data);
}

void playback_page_instance::mark_changed() {
  balloon_.hide_balloon_tip();
  const bool was_changed = changed_;
  changed_ = true;
  if (!was_changed) callback_->on_state_changed();
}

void playback_page_instance::apply() {
  replaygain_settings& settings = replaygain_settings_service();
  playback_gain_settings record = settings.get();
  settings.read_panel(panel_, record);
  settings.set(record);

  bool device_changed = false;
  if (const output_choice* choice = selected_choice()) {
    critical_section_lock hold(output_configuration_lock());
    if (!qiv::guid_equal(choice->module, config::output_module.get()) ||
        !qiv::guid_equal(choice->device, config::output_device.get())) {
      config::output_module.set(choice->module);
      config::output_device.set(choice->device);
      device_changed = true;
    }
  }
  if (device_changed) {
    output_volume::select_configured();
    if (output_volume::current()) output_volume::apply_volume(playback_front_get().get_volume());
  }
  changed_ = false;
}

void playback_page_instance::reset() {
  replaygain_settings& settings = replaygain_settings_service();
  settings.write_panel(panel_, settings.get_defaults());
  select_choice(config::directsound_output_guid, GUID{});
  mark_changed();
}

bool playback_page_instance::process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                             LRESULT& result, DWORD) {
  if (resizer_.process_message(window, message, wparam, lparam, result)) return true;
  switch (message) {
    case WM_INITDIALOG:
      on_initialise();
      result = TRUE;
      return true;
    case WM_SIZE:
      place_panel();
      return false;
    case message_missing_device:
      if (SendMessageW(combo(), CB_GETCURSEL, 0, 0) == CB_ERR) {
        const bool list_open = SendMessageW(combo(), CB_GETDROPPEDSTATE, 0, 0) != 0;
        COMBOBOXINFO info = {};
        info.cbSize = sizeof(info);
        const HWND anchor = list_open && GetComboBoxInfo(combo(), &info) ? info.hwndList : combo();
        balloon_.show_balloon_tip(localized_text_get("preferences_select_valid_output"), anchor);
      }
      return true;
    case WM_COMMAND:
      if ((LOWORD(wparam) == IDC_PLAYBACK_DEVICE && HIWORD(wparam) == CBN_SELCHANGE) ||
          (LOWORD(wparam) == IDC_PLAYBACK_REPLAYGAIN_PANEL && HIWORD(wparam) == 0)) {
        mark_changed();
        return true;
      }
      return false;
    default:
      return false;
  }
}

class playback_page : public preferences_page_base {
public:
  void get_name(qiv::string_object& out) override { out.set_string(localized_text_get("preferences_playback")); }
  GUID get_guid() override { return playback_page_guid; }
  service_ptr<preferences_page_instance> create(HWND parent, service_ptr<preferences_page_callback> callback) override {
    auto* instance = new service_counted<playback_page_instance>(std::move(callback));
    service_ptr<preferences_page_instance> held(instance);
    instance->create(parent);
    return held;
  }
};

service_factory_single_t<playback_page> playback_page_registration;

}  // namespace
