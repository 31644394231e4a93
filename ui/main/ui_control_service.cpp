// The companion of the user-interface module through which the layers
// below reach the windows: the preferences dialog for now.
#include "core/app_state.h"
#include "core/service_factory.h"
#include "core/ui_control.h"
#include "foundation/guid_equal.h"
#include "ui/dialogs/preferences_dialog.h"

namespace {

class ui_control_service : public ui_control {
public:
  // Without a main window ("/quiet", or before start-up made it) there is
  // nothing to own the dialog, and the request does nothing.
  void show_preferences(const GUID& page) override {
    if (app::state().ui_main_window == nullptr) return;
    const GUID none = {};
    preferences_dialog::open(qiv::guid_equal(page, none) ? nullptr : &page);
  }
};

service_factory_single_t<ui_control_service> registration;

}  // namespace
