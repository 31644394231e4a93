#include "ui/menus/help_commands.h"

#include "core/app_state.h"
#include "core/service_factory.h"
#include "foundation/win32_text.h"
#include "ui/dialogs/about_box.h"
#include "ui/menus/information_popup.h"
#include "ui/menus/main_menu_commands.h"
#include "ui/menus/menu_command_table.h"

namespace {

constexpr GUID help_section = {0xE55F8D65, 0xAE51, 0x47BF, {0x99, 0xF9, 0xBB, 0x11, 0x34, 0x21, 0xCB, 0x19}};

constexpr menu_command_entry help_commands[] = {
    {"menu_about", main_menu_command::about},
    {"menu_website", main_menu_command::web_site},
};

void shell_open(HWND owner, const char* verb, const char* target) { shell_execute_utf8(owner, verb, target); }

shell_call web_site_shell_call = shell_open;

class help_command_group : public menu_command_table {
public:
  help_command_group() noexcept : menu_command_table(help_commands, help_section, 0xFFFFFFFFu) {}

  void execute(std::uint32_t index, service_handle) override {
    const HWND owner = app::state().ui_main_window;
    if (entry(index).guid == main_menu_command::about) {
      about_box::show(owner);
      return;
    }
    // While a modal window is open the check brings it forward with a beep,
    // and the browser stays closed.
    if (ui_interaction_allowed()) web_site_shell_call(owner, "open", about_box_texts::web_site);
  }
};

service_factory_single_t<help_command_group> help_command_group_registration;

}  // namespace

void set_web_site_shell_call(shell_call call) noexcept { web_site_shell_call = call != nullptr ? call : shell_open; }
