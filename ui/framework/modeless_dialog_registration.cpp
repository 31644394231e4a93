#include "ui/framework/modeless_dialog_registration.h"

#include "core/dialog_registry.h"

modeless_dialog_registration::~modeless_dialog_registration() { unregister(); }

bool modeless_dialog_registration::process_message(HWND window, UINT message) {
  if (message == WM_INITDIALOG) {
    unregister();
    dialog_registry::get().add(window);
    registered_ = window;
  } else if (message == WM_DESTROY) {
    unregister();
  }
  return false;
}

void modeless_dialog_registration::unregister() noexcept {
  if (registered_ == nullptr) return;
  dialog_registry::get().remove(registered_);
  registered_ = nullptr;
}
