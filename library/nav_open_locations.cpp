// Locations handed over from outside go to the navigation: their folder is
// shown and they are played.
#include <exception>

#include "core/location_opener.h"
#include "core/popup_message.h"
#include "core/service_factory.h"
#include "library/nav_controller.h"

namespace {

class nav_location_opener : public location_opener {
public:
  void open_locations(HWND, const command_line_items& items) override {
    wide_text_list paths;
    for (const qiv::string_small& item : items) {
      std::string text = item.get_ptr();
      if (text.rfind("file://", 0) == 0) text.erase(0, 7);
      paths.push_back(nav_wide(text));
    }
    try {
      nav_controller_get().open_path(paths, true);
    } catch (const std::exception& error) {
      // A location that cannot be shown (a folder gone, a drive without a
      // medium) is reported; the program goes on.
      popup_message_show(error.what(), "Could not open location");
    }
  }
};

service_factory_single_t<nav_location_opener> registration;

}  // namespace
