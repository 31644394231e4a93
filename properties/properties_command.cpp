#include "properties/properties_command.h"

#include "core/app_state.h"
#include "core/localized_text.h"
#include "core/popup_message.h"
#include "core/service_factory.h"
#include "foundation/main_thread.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_error.h"
#include "metadata/metadata_io_service.h"
#include "ui/menus/context_menu_group_def.h"
#include "ui/menus/context_menu_item.h"

namespace {

// Opens the dialog once the opening load has ended well.
class opening_completion : public metadata_completion {
public:
  void set(const track_handle_list& tracks, properties_dialog::open_mode mode, service_ptr<info_cache> cache) {
    tracks_ = tracks;
    mode_ = mode;
    cache_ = std::move(cache);
  }

  void on_completion(std::uint32_t code) override {
    // Whatever happens now, the loaded infos go with this object.
    service_ptr<info_cache> cache = std::move(cache_);
    if (code != code_success) return;
    const HWND main_window = app::state().ui_main_window;
    if (main_window == nullptr || !IsWindow(main_window)) return;
    try {
      properties_dialog::open(tracks_, mode_, main_window, std::move(cache));
    } catch (const std::bad_alloc&) {
      say_not_shown(localized_text_get("properties_not_enough_memory"));
    } catch (const exception_win32& error) {
      say_not_shown(error.what());
    }
  }

private:
  // The dialog did not come up; the loaded infos are already released.
  static void say_not_shown(const char* reason) {
    localized_values values;
    values.find_or_add(qiv::string_small("error"), qiv::string_small(reason));
    qiv::string_buffer text;
    localized_text_format("properties_show_failed", values, text);
    popup_message_show(text.get_ptr(), localized_text_get("dialog_information"));
  }

  track_handle_list tracks_;
  properties_dialog::open_mode mode_ = properties_dialog::by_shift_key;
  service_ptr<info_cache> cache_;
};

class properties_command : public context_menu_item {
public:
  std::uint32_t get_count() override { return 1; }
  GUID get_guid(std::uint32_t) override { return context_menu_commands::properties; }
  void get_name(std::uint32_t, qiv::string_object& output) override {
    output.set_string(localized_text_get("contextmenu_properties"));
  }
  std::uint32_t get_visibility(std::uint32_t index) override { return index == 0 ? always : extended_only; }
  double get_priority() override { return 0.0; }
  GUID get_parent() override { return context_menu_groups::trailing; }
  void execute(std::uint32_t, const track_handle_list& tracks, const GUID&) override {
    open_properties_dialog(tracks, properties_dialog::by_shift_key);
  }
};

service_factory_single_t<properties_command> properties_command_registration;

}  // namespace

void open_properties_dialog(const track_handle_list& tracks, properties_dialog::open_mode mode) {
  if (!is_main_thread() || tracks.empty()) return;
  service_ptr<info_cache> cache = info_cache::create();
  service_ptr<opening_completion> completion(new service_counted<opening_completion>());
  completion->set(tracks, mode, cache);
  metadata_io_service::get()->load_info_async(tracks, metadata_load_mode::all, app::state().ui_main_window,
                                              metadata_flag_delayed, cache.get(), completion.get());
}
