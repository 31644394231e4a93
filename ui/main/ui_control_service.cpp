// The companion of the user-interface module through which the layers
// below reach the windows: the chosen module's window, the program icon and
// the preferences dialog.
#include "core/app_state.h"
#include "core/service_factory.h"
#include "core/ui_control.h"
#include "core/user_interface.h"
#include "foundation/guid_equal.h"
#include "ui/dialogs/preferences_dialog.h"

namespace {

class ui_control_service : public ui_control {
public:
  bool is_visible() override {
    const service_ptr<user_interface> module = current_user_interface();
    return module && module->is_visible();
  }

  void activate() override {
    if (const service_ptr<user_interface> module = current_user_interface()) module->activate();
  }

  void hide() override {
    if (const service_ptr<user_interface> module = current_user_interface()) module->hide();
  }

  HICON get_icon() override { return LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(program_icon)); }

  HICON get_icon_sized(int width, int height) override {
    return static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(program_icon), IMAGE_ICON, width, height, 0));
  }

  // Without a main window ("/quiet", or before start-up made it) there is
  // nothing to own the dialog, and the request does nothing.
  void show_preferences(const GUID& page) override {
    if (app::state().ui_main_window == nullptr) return;
    const GUID none = {};
    preferences_dialog::open(qiv::guid_equal(page, none) ? nullptr : &page);
  }
};

service_factory_single_t<ui_control_service> ui_control_service_registration;

}  // namespace
