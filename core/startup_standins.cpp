// Minimal stand-ins for what start-up calls of subsystems that are not built
// yet. Each block is replaced by its subsystem's real code; until then it does
// the least that lets the program start, run its loop and shut down.
#include <windows.h>

#include <iterator>

#include "core/app_state.h"
#include "core/startup_services.h"
#include "core/playback_control.h"
#include "core/app_exceptions.h"
#include "core/command_line_processing.h"
#include "core/main_menu_group.h"
#include "core/menu_group_def.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"

// Main-menu commands (stand-in): the playback, exit, help and install
// commands are run by GUID from the command line and the media keys before
// their groups are built. Until then each is only written to the debugger
// output as "command: {GUID}", so that tests can see which command ran; only
// the exit command also does what it says. The group hangs under a node that
// no menu shows.
namespace {
class unbuilt_menu_commands : public main_menu_group {
public:
  std::uint32_t get_command_count() override { return static_cast<std::uint32_t>(std::size(commands)); }
  GUID get_command_guid(std::uint32_t index) override { return commands[index]; }
  void get_command_name(std::uint32_t, qiv::string_object& output) override { output.set_string(""); }
  GUID get_parent() override { return {0x8CDA6B10, 0x0613, 0x4CFD, {0x87, 0x30, 0x3B, 0x9C, 0xBF, 0x4C, 0x6A, 0x39}}; }
  std::uint32_t get_sort_priority() override { return 0; }
  void execute(std::uint32_t index, service_handle) override {
    if (commands[index] == exit_command) app::request_exit(0);
    wchar_t text[40] = {};
    StringFromGUID2(commands[index], text, 40);
    qiv::string_buffer guid;
    wide_to_utf8(text, guid);
    qiv::string_buffer line("command: ");
    line.add_c_str(guid.get_ptr());
    line.add_c_str("\n");
    output_debug_string_utf8(line.get_ptr());
  }

private:
  static constexpr GUID exit_command = {0x6D38C73A, 0x15D8, 0x472C, {0x8E, 0x68, 0x6F, 0x94, 0x6B, 0x82, 0xEC, 0xB4}};
  static constexpr GUID commands[] = {
      {0xC3378028, 0x165F, 0x4374, {0x96, 0x6C, 0x2F, 0xA2, 0xE0, 0xFC, 0xD3, 0xA8}},  // stop
      {0xFCEF5262, 0x7FA5, 0x452E, {0xA5, 0x27, 0xC1, 0x4E, 0x0C, 0xB5, 0x82, 0xDE}},  // pause
      {0xD3F83B15, 0xD4AF, 0x4586, {0x8B, 0xD0, 0x4E, 0xA4, 0x15, 0xE3, 0x1F, 0xE1}},  // play
      {0x059C4566, 0x4708, 0x4EBF, {0x81, 0x39, 0x6A, 0x8E, 0xA5, 0xA9, 0xDF, 0xC8}},  // previous
      {0xE58895A0, 0xA2F0, 0x45B6, {0x87, 0x99, 0x14, 0x40, 0xE4, 0xDB, 0x72, 0x84}},  // next
      {0x851B8274, 0x2879, 0x43D3, {0xA4, 0x93, 0x23, 0xB2, 0xE9, 0x93, 0xC8, 0x28}},  // fast-forward
      {0xF7AA88F4, 0x057A, 0x4332, {0xBA, 0xE8, 0x5F, 0x64, 0x73, 0x56, 0xC7, 0x2F}},  // rewind
      {0xEF9B60FE, 0xCB03, 0x4C40, {0xA8, 0xFD, 0x3F, 0x18, 0x21, 0x02, 0x0B, 0x37}},  // restart
      exit_command,
      {0xEDA23441, 0x5D38, 0x4499, {0xA2, 0x2C, 0xFE, 0x0C, 0xE0, 0xA9, 0x87, 0xD9}},  // about
      {0x371A8D25, 0xDEC0, 0x4034, {0x8C, 0x5C, 0xE5, 0xB2, 0xA8, 0xBE, 0xE7, 0x1F}},  // web site
      {0x420195FE, 0xFF5C, 0x48AF, {0xAD, 0x98, 0x67, 0xD2, 0xF5, 0xFE, 0x95, 0x91}},  // install
  };
};
service_factory_single_t<unbuilt_menu_commands> unbuilt_menu_commands_registration;
}  // namespace

namespace lifecycle_callbacks {
void on_init() {}
void on_quit() {}
}  // namespace lifecycle_callbacks

namespace preferences_dialog {
void destroy_if_open() {}
}

