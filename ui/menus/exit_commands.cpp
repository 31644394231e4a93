// Restart (only in a menu opened with Shift) and Exit at the end of the File
// popup. Both ask for the end of the program the way closing the window
// does: the close confirmation and every quit-approval service may refuse,
// and the program then simply goes on.
#include "core/app_state.h"
#include "core/service_factory.h"
#include "ui/menus/main_menu_commands.h"
#include "ui/menus/menu_command_table.h"

namespace {

constexpr GUID exit_section = {0x517BFAE8, 0xA148, 0x4CB2, {0x8C, 0xCE, 0x1A, 0xD2, 0x17, 0x9F, 0xB9, 0x10}};

constexpr menu_command_entry exit_commands[] = {
    {"menu_restart", main_menu_command::restart, main_menu_group::flag_extended},
    {"menu_exit", main_menu_command::exit},
};

class exit_command_group : public menu_command_table {
public:
  exit_command_group() noexcept : menu_command_table(exit_commands, exit_section, 0xFFFFFFFFu) {}

  void execute(std::uint32_t index, service_handle) override {
    const bool restart = entry(index).guid == main_menu_command::restart;
    app::request_exit(restart ? 1 : 0);
  }
};

service_factory_single_t<exit_command_group> exit_command_group_registration;

}  // namespace
