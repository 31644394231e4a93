#include "core/dialog_registry.h"

#include "core/service_factory.h"
#include "foundation/crash.h"
#include "foundation/main_thread.h"

void dialog_list::add(HWND dialog) { dialogs_.append(dialog); }

void dialog_list::remove(HWND dialog) noexcept {
  std::uint32_t kept = 0;
  for (std::uint32_t i = 0; i < dialogs_.get_count(); ++i) {
    if (dialogs_[i] != dialog) dialogs_.set(kept++, dialogs_[i]);
  }
  dialogs_.remove_range(kept, dialogs_.get_count());
}

bool dialog_list::offer(MSG& message) {
  // The count is read at every step: a dialog procedure reached through
  // IsDialogMessageW may unregister its window.
  for (std::uint32_t i = 0; i < dialogs_.get_count(); ++i) {
    if (IsDialogMessageW(dialogs_[i], &message)) return true;
  }
  return false;
}

void dialog_list::destroy_all() noexcept {
  // Each window unregisters itself while it is destroyed: work on a copy.
  qiv::array<HWND> open;
  try {
    open = dialogs_;
  } catch (...) {
    return;
  }
  for (std::uint32_t i = open.get_count(); i-- > 0;) {
    if (IsWindow(open[i])) DestroyWindow(open[i]);
  }
}

namespace {

class dialog_registry_impl : public dialog_registry {
public:
  void add(HWND dialog) override {
    if (!is_main_thread()) qiv::crash();
    dialogs_.add(dialog);
  }
  void remove(HWND dialog) override {
    if (!is_main_thread()) qiv::crash();
    dialogs_.remove(dialog);
  }
  dialog_list& dialogs() noexcept { return dialogs_; }

private:
  dialog_list dialogs_;
};

service_factory_single_t<dialog_registry_impl> dialog_registry_registration;

}  // namespace

dialog_registry& dialog_registry::get() noexcept { return dialog_registry_registration.get_static_instance(); }

bool dialog_registry_offer(MSG& message) {
  return dialog_registry_registration.get_static_instance().dialogs().offer(message);
}

void dialog_registry_destroy_all() noexcept {
  dialog_registry_registration.get_static_instance().dialogs().destroy_all();
}
