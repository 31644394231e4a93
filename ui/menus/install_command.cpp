// "Install to removable medium" in the File popup: opens the installer
// wizard, which runs modeless beside the main window and owns itself.
#include "core/app_state.h"
#include "core/service_factory.h"
#include "ui/dialogs/install_wizard.h"
#include "ui/menus/main_menu_commands.h"
#include "ui/menus/menu_command_table.h"

namespace {

constexpr GUID install_section = {0x8A324F18, 0x6173, 0x42EC, {0xA6, 0x40, 0x5E, 0x29, 0x6A, 0xD4, 0x46, 0xB3}};

constexpr menu_command_entry install_commands[] = {
    {"menu_install_to_removable", main_menu_command::install},
};

class install_command_group : public menu_command_table {
public:
  install_command_group() noexcept : menu_command_table(install_commands, install_section, 0x80000000u) {}

  void execute(std::uint32_t index, service_handle) override {
    entry(index);
    install_wizard::open(app::state().ui_main_window);
  }
};

service_factory_single_t<install_command_group> install_command_group_registration;

}  // namespace
