// Quitting the program destroys every properties dialog with it: one holding
// edits not yet written asks first, as its own close does, so that an exit
// never drops the user's edits without a word; one whose sub-dialog or cell
// editor is open holds the quit back.
#include <windows.h>

#include <vector>

#include "core/service_factory.h"
#include "core/shutdown_approval.h"
#include "properties/properties_dialog.h"

namespace {

class properties_quit_guard : public quit_approval {
public:
  bool may_quit_now() override {
    // A copy: answering a prompt may close a dialog.
    const std::vector<properties_dialog*> dialogs = properties_dialog::open_dialogs();
    for (properties_dialog* dialog : dialogs) {
      // A running write does not hold the quit back: the close confirmation
      // has said what the quit does to it (the files being written end
      // whole, no further file is taken), and a load loses nothing.
      if (dialog->has_pending_operation()) continue;
      if (dialog->is_busy()) {
        MessageBeep(0);
        SetForegroundWindow(dialog->handle());
        return false;
      }
      if (!dialog->is_modified()) continue;
      SetForegroundWindow(dialog->handle());
      // Yes starts writing and closes the dialog once written; the quit waits
      // for the user's next try. No lets the edits go; Cancel keeps both.
      if (!dialog->ask_save(properties_dialog::apply_and_close)) return false;
    }
    return true;
  }
};
service_factory_single_t<properties_quit_guard> properties_quit_guard_registration;

}  // namespace
