#include "library/library_menu_commands.h"

#include "core/config_item_registrations.h"
#include "core/localized_text.h"
#include "core/menu_group_def.h"
#include "core/service_factory.h"
#include "foundation/crash.h"
#include "library/media_library.h"

namespace {
service_factory_single_t<library_menu_commands> menu_registration;
}

GUID library_menu_commands::get_command_guid(std::uint32_t index) {
  if (index == 0) return monitor_command;
  if (index == 1) return refresh_command;
  qiv::crash();
}

void library_menu_commands::get_command_name(std::uint32_t index, qiv::string_object& output) {
  if (index == 0) localized_text::get_or("menu_monitor_folders", "Monitor music folders", output);
  else if (index == 1) localized_text::get_or("menu_scan_folders", "Refresh music folders now", output);
  else qiv::crash();
}

GUID library_menu_commands::get_parent() { return main_menu_node::library_folders_section; }

bool library_menu_commands::get_display(std::uint32_t index, qiv::string_object& text, std::uint32_t& flags) {
  flags = 0;
  get_command_name(index, text);
  if (index == 0) {
    flags = flag_builder_option | (config::library_monitor_folders.get() ? flag_checked : 0);
    return true;
  }
  return !config::library_monitor_folders.get();
}

void library_menu_commands::execute(std::uint32_t index, service_handle) {
  if (index == 0) {
    config::library_monitor_folders.set(!config::library_monitor_folders.get());
    if (media_library::is_loaded()) media_library::apply_folders({});
  } else if (index == 1 && !config::library_monitor_folders.get()) {
    // While monitoring, the folders are current already.
    media_library::ensure_loaded();
    media_library::rescan_folders();
  }
}
