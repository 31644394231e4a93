// Stop, Pause, Play, Previous and Next of the Playback popup, and the
// Fast-forward and Rewind that only a menu opened with Shift shows (the
// media keys reach them too). Each acts on the playback front end.
#include "core/service_factory.h"
#include "playback/playback_front.h"
#include "ui/menus/main_menu_commands.h"
#include "ui/menus/menu_command_table.h"

namespace {

constexpr GUID playback_commands_section = {0x12F5E247, 0x5A81, 0x4734, {0x81, 0x19, 0x8F, 0x9B, 0xC1, 0x14, 0xFE, 0x74}};

enum playback_command_index : std::uint32_t { stop, pause, play, previous, next, fast_forward, rewind };

constexpr menu_command_entry playback_commands[] = {
    {"menu_stop", main_menu_command::stop},
    {"menu_pause", main_menu_command::pause},
    {"menu_play", main_menu_command::play},
    {"menu_play_prev", main_menu_command::previous},
    {"menu_play_next", main_menu_command::next},
    {"ui_fastforward", main_menu_command::fast_forward, main_menu_group::flag_extended},
    {"ui_rewind", main_menu_command::rewind, main_menu_group::flag_extended},
};

class playback_command_group : public menu_command_table {
public:
  playback_command_group() noexcept : menu_command_table(playback_commands, playback_commands_section, 0x80000000u) {}

  // Stop is checked while nothing plays, Play while something does (paused
  // too) and Pause while paused: a paused player shows both Play and Pause.
  bool get_display(std::uint32_t index, qiv::string_object& text, std::uint32_t& flags) override {
    menu_command_table::get_display(index, text, flags);
    playback_front_impl& playback = playback_front_get();
    bool checked = false;
    switch (index) {
    case stop: checked = !playback.is_playing(); break;
    case pause: checked = playback.is_paused(); break;
    case play: checked = playback.is_playing(); break;
    default: break;
    }
    if (checked) flags |= flag_checked;
    return true;
  }

  void execute(std::uint32_t index, service_handle) override {
    entry(index);  // an index past the table is fatal before anything runs
    playback_front_impl& playback = playback_front_get();
    switch (index) {
    case stop:
      playback.stop();
      break;
    case pause:
      // Stopped, the front end has nothing to pause and does nothing.
      playback.pause(!playback.is_paused());
      break;
    case play:
      // Resumes where it was rather than starting the track again.
      if (playback.is_paused()) playback.pause(false);
      else playback.start(command_play, false);
      break;
    case previous:
      playback.start(command_previous, false);
      break;
    case next:
      playback.start(command_next, false);
      break;
    case fast_forward:
      playback.seek_delta(playback_front_impl::seek_step);
      break;
    case rewind:
      playback.seek_delta(-playback_front_impl::seek_step);
      break;
    }
  }
};

service_factory_single_t<playback_command_group> playback_command_group_registration;

}  // namespace
