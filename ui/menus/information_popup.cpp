#include "ui/menus/information_popup.h"

#include <string>

#include "core/localized_text.h"
#include "core/popup_message.h"
#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "foundation/modal_popup.h"

bool ui_interaction_allowed() {
  if (!is_main_thread()) {
    activate_blocked_popup();
    return false;
  }
  if (!modal_allowed()) {
    activate_blocked_popup();
    return false;
  }
  return true;
}

const char* dialog_information_caption() { return localized_text_get("dialog_information"); }

void show_information_popup(const char* text) {
  service_lookup_unique_t<popup_message>()->show(text, ~std::size_t(0), dialog_information_caption(),
                                                  ~std::size_t(0), 1);
}

void show_labelled_information_popup(const char* label, const char* detail) {
  std::string text = label;
  text += ": ";
  text += detail;
  show_information_popup(text.c_str());
}
