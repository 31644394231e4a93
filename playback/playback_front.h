// The main-thread face of playback: menus, keys, the command line, the
// volume slider and the now-playing display start, stop, pause, seek and set
// the volume through it. It owns the one playback engine, feeds it the items
// the playback order chooses, turns the engine's reports into listener
// events and keeps the volume.
//
// Everything runs on the main thread. The changing operations stop the
// process when called from another thread or from inside a listener event.
#pragma once

#include <cstdint>

#include "core/dsp_chain.h"
#include "core/playback_control.h"
#include "metadata/title/title_field_provider.h"
#include "metadata/title/title_script.h"
#include "metadata/title/title_text_filter.h"
#include "metadata/track_handle.h"
#include "metadata/track_info_listener.h"
#include "playback/failure_streak.h"
#include "playback/output/app_volume_control.h"
#include "playback/playback_engine.h"
#include "playback/playback_order.h"

class playback_front_impl : public playback_front_api, private app_volume_listener {
public:
  static constexpr double volume_floor = -100.0;
  static constexpr double seek_step = 10.0;
  static constexpr UINT_PTR position_timer_id = 1338;
  static constexpr UINT position_timer_ms = 200;
  // Items are queued ahead until this much is known to be waiting.
  static constexpr double queue_ahead_seconds = 0.5;

  bool get_now_playing(track_handle_ptr& out);
  // `command` is a playback_command.
  void start(std::uint32_t command = command_play, bool paused = false);
  void stop();
  bool is_playing();
  bool is_paused();
  void pause(bool paused);
  void set_volume(float decibels);
  float get_volume();
  void volume_up();
  void volume_down();
  void toggle_mute();
  void seek(double seconds);
  void seek_delta(double seconds);
  bool can_seek();
  double get_position();
  // Evaluates `script` against the playing track, with the playback fields
  // (elapsed and total time, playing and paused) under the caller's hook
  // from `level` 1 and 3 on. False, `out` empty, when nothing plays.
  bool format_title(field_provider* hook, qiv::string_object& out, const title_script& script,
                    title_text_filter* filter, std::int32_t level);
  // "Volume step (dB)".
  float get_volume_step();
  void on_init() override;
  void on_quit() override;
  void stop_for_shutdown() override;
  // After the preferences changed the output: reopens it while playing.
  void refresh_output();

  // What the engine's reports and the position timer run (main thread).
  void on_engine_state_changed();
  void on_timer_tick();
  void on_dsp_chain_changed(const dsp_chain& chain);
  void on_info_changed(const track_handle_list& handles);

  // For tests: the engine the front end drives.
  playback_engine* engine() const noexcept { return engine_.get(); }

private:
  void check_control();
  void stop_with_reason(std::uint32_t reason);
  void queue_next_items();
  // False when playback stopped instead.
  bool announce(std::int32_t id);
  void set_volume_from(float decibels, bool from_output);
  void on_volume_change(float decibels) override { set_volume_from(decibels, true); }

  service_ptr<playback_engine> engine_;
  std::uint32_t pending_command_ = 0;
  std::int32_t announced_id_ = -1;
  track_handle_ptr now_playing_;
  double track_length_ = 0.0;
  bool can_seek_ = false;
  std::int64_t last_whole_seconds_ = 0;
  bool starting_ = false;
  bool requested_pause_ = false;
  float kept_volume_ = 0.0f;
  failure_streak failures_;
};

// The process's front end.
playback_front_impl& playback_front_get();

// Told by the DSP settings when the user changes the chain.
class dsp_config_listener : public service_object {
public:
  static constexpr GUID class_guid = {0xF8F03D26, 0xC2DA, 0x47ED, {0x87, 0x48, 0x1D, 0xBA, 0xCB, 0xCE, 0xA5, 0x08}};
  using service_parent = service_object;

  virtual void on_chain_changed(const dsp_chain& chain) = 0;

protected:
  ~dsp_config_listener() = default;
};
