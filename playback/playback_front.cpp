#include "playback/playback_front.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/advanced_settings_registrations.h"
#include "core/callback_guard.h"
#include "core/config_item_registrations.h"
#include "core/hidden_main_window.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/case_folding.h"
#include "foundation/crash.h"
#include "foundation/main_thread.h"
#include "foundation/string_small.h"
#include "foundation/time_format.h"
#include "metadata/title/title_hook_chain.h"
#include "metadata/title/title_rand_hook.h"
#include "metadata/track_handle_info.h"
#include "playback/engine_callback.h"
#include "playback/output/dsound_worker.h"
#include "playback/output/output_module.h"
#include "playback/playback_error_popup.h"
#include "playback/playback_listeners.h"

namespace {

service_factory_single_t<playback_front_impl> front_registration;

void ensure_main_thread() {
  if (!is_main_thread()) qiv::crash();
}

void CALLBACK position_timer_tick(HWND, UINT, UINT_PTR, DWORD) {
  guard_callback<int>(0, [] {
    playback_front_get().on_timer_tick();
    return 0;
  });
}

// Restores a flag when a start returns, also by an exception.
class flag_restorer {
public:
  flag_restorer(bool& flag, bool value) : flag_(flag), saved_(flag) { flag = value; }
  ~flag_restorer() { flag_ = saved_; }

private:
  bool& flag_;
  bool saved_;
};

bool name_is(const char* name, std::size_t length, const char* field) {
  return qiv::compare_nocase_ex(name, length, field, std::strlen(field)) == 0;
}

// The playback fields of title formatting, under the caller's own fields.
class playback_fields final : public field_provider {
public:
  playback_fields(std::int32_t level, std::int64_t elapsed, double length, bool paused)
      : level_(level), elapsed_(elapsed), length_(length), paused_(paused) {}

  bool process_field(title_field_output& out, const char* name, std::size_t length, bool& found) override {
    found = true;
    if (level_ >= 1 && (name_is(name, length, "_isplaying") || name_is(name, length, "isplaying"))) {
      out.write(title_text_type_b, "1");
      return true;
    }
    if (level_ >= 1 && (name_is(name, length, "_ispaused") || name_is(name, length, "ispaused"))) {
      if (!paused_) return false;
      out.write(title_text_type_b, "1");
      return true;
    }
    if (level_ < 3) return false;
    const std::int64_t total = static_cast<std::int64_t>(length_);
    if (name_is(name, length, "_time_elapsed") || name_is(name, length, "playback_time"))
      return write_timespan(out, elapsed_);
    if (name_is(name, length, "_time_elapsed_seconds") || name_is(name, length, "playback_time_seconds"))
      return write_seconds(out, elapsed_);
    if (name_is(name, length, "_time_total")) return length_ > 0.0 && write_timespan(out, total);
    if (name_is(name, length, "_time_total_seconds")) return length_ > 0.0 && write_seconds(out, total);
    const bool remaining_known = length_ > 0.0 && elapsed_ <= total;
    if (name_is(name, length, "_time_remaining") || name_is(name, length, "playback_time_remaining"))
      return remaining_known && write_timespan(out, total - elapsed_);
    if (name_is(name, length, "_time_remaining_seconds") || name_is(name, length, "playback_time_remaining_seconds"))
      return remaining_known && write_seconds(out, total - elapsed_);
    return false;
  }
  bool process_function(title_field_output&, const char*, std::size_t, const title_function_args&,
                        bool&) override {
    return false;
  }

private:
  static bool write_timespan(title_field_output& out, std::int64_t seconds) {
    out.write(title_text_type_b, qiv::format_timespan(static_cast<std::uint64_t>(seconds)).get_ptr());
    return true;
  }
  static bool write_seconds(title_field_output& out, std::int64_t seconds) {
    title_write_int(out, seconds);
    return true;
  }

  std::int32_t level_;
  std::int64_t elapsed_;
  double length_;
  bool paused_;
};

class front_dsp_listener : public dsp_config_listener {
public:
  void on_chain_changed(const dsp_chain& chain) override { playback_front_get().on_dsp_chain_changed(chain); }
};
service_factory_single_t<front_dsp_listener> dsp_listener_registration;

class front_info_listener : public track_info_listener {
public:
  void on_info_changed(const track_handle_list& handles, std::uint8_t) override {
    playback_front_get().on_info_changed(handles);
  }
};
service_factory_single_t<front_info_listener> info_listener_registration;

}  // namespace

playback_front_impl& playback_front_get() { return front_registration.get_static_instance(); }

// Playback control is main-thread work, and a listener that changed playback
// in the middle of an event would leave the others with a stale picture.
void playback_front_impl::check_control() {
  if (!is_main_thread() || playback_listener_registry::dispatch_in_progress()) qiv::crash();
}

bool playback_front_impl::get_now_playing(track_handle_ptr& out) {
  ensure_main_thread();
  out = now_playing_;
  return static_cast<bool>(out);
}

void playback_front_impl::start(std::uint32_t command, bool paused) {
  check_control();
  if (!engine_) return;
  if (engine_->is_active()) stop_with_reason(playback_listener::stop_new_start);
  last_whole_seconds_ = 0;
  playback_error_popup::start_new_run();
  failures_.reset();
  can_seek_ = false;
  flag_restorer starting(starting_, true);
  flag_restorer pause(requested_pause_, paused);
  playback_listener_registry::raise_starting(command, paused);
  pending_command_ = command;
  engine_->start(paused);
  // The new run wants its first items now: handing them over here rather
  // than at the engine's first state report saves a report interval and a
  // trip through the main-thread queue before the first sound.
  if (engine_->wants_input()) queue_next_items();
  if (HWND window = hidden_main_window::get())
    SetTimer(window, position_timer_id, position_timer_ms, position_timer_tick);
}

void playback_front_impl::stop() {
  check_control();
  stop_with_reason(playback_listener::stop_user);
}

void playback_front_impl::stop_for_shutdown() {
  check_control();
  stop_with_reason(playback_listener::stop_shutdown);
}

void playback_front_impl::stop_with_reason(std::uint32_t reason) {
  if (!engine_ || !engine_->is_active()) return;
  engine_->stop();
  announced_id_ = -1;
  can_seek_ = false;
  now_playing_.reset();
  track_length_ = 0.0;
  playback_listener_registry::raise_stop(reason);
  if (HWND window = hidden_main_window::get()) KillTimer(window, position_timer_id);
}

bool playback_front_impl::is_playing() {
  ensure_main_thread();
  if (starting_) return true;
  return engine_ && engine_->is_active();
}

bool playback_front_impl::is_paused() {
  ensure_main_thread();
  if (starting_) return requested_pause_;
  return engine_ && engine_->is_paused();
}

void playback_front_impl::pause(bool paused) {
  check_control();
  if (!engine_ || !engine_->is_active() || engine_->is_paused() == paused) return;
  if (paused) engine_->pause();
  else engine_->resume();
  playback_listener_registry::raise_pause(paused);
}

void playback_front_impl::set_volume(float decibels) {
  check_control();
  set_volume_from(decibels, false);
}

void playback_front_impl::set_volume_from(float decibels, bool from_output) {
  if (!(decibels >= volume_floor)) decibels = static_cast<float>(volume_floor);  // NaN too
  if (decibels > 0.0f) decibels = 0.0f;
  if (decibels != config::playback_volume_db.get()) {
    if (engine_ && !output_volume::carries_volume()) engine_->set_volume(decibels);
    playback_listener_registry::raise_volume_change(decibels);
  }
  if (!from_output && output_volume::current()) output_volume::apply_volume(decibels);
}

float playback_front_impl::get_volume() {
  ensure_main_thread();
  return config::playback_volume_db.get();
}

void playback_front_impl::volume_up() {
  check_control();
  set_volume_from(config::playback_volume_db.get() + get_volume_step(), false);
}

void playback_front_impl::volume_down() {
  check_control();
  set_volume_from(config::playback_volume_db.get() - get_volume_step(), false);
}

void playback_front_impl::toggle_mute() {
  check_control();
  const float before = config::playback_volume_db.get();
  set_volume_from(before == static_cast<float>(volume_floor) ? kept_volume_ : static_cast<float>(volume_floor),
                  false);
  kept_volume_ = before;
}

float playback_front_impl::get_volume_step() {
  qiv::string_small text;
  advanced_settings::volume_step_db.get_state(text);
  const float step = std::strtof(text.get_ptr(), nullptr);
  return std::isfinite(step) ? step : 0.0f;
}

// A length of 0 means the track's length is not known: the seek is then
// left to the engine, which knows where a started item ends.
void playback_front_impl::seek(double seconds) {
  check_control();
  if (!engine_ || !engine_->is_active()) return;
  if (!(seconds >= 0.0)) seconds = 0.0;
  if (track_length_ > 0.0 && seconds > track_length_) seconds = track_length_;
  if (!engine_->seek(announced_id_, seconds)) return;
  last_whole_seconds_ = static_cast<std::int64_t>(seconds);
  playback_listener_registry::raise_seek(seconds);
}

void playback_front_impl::seek_delta(double seconds) {
  check_control();
  if (!engine_ || !engine_->is_active()) return;
  double position;
  if (engine_->get_position(announced_id_, position)) seek(position + seconds);
}

bool playback_front_impl::can_seek() {
  ensure_main_thread();
  return can_seek_;
}

double playback_front_impl::get_position() {
  ensure_main_thread();
  double position = 0.0;
  if (engine_ && engine_->get_position(announced_id_, position)) return position;
  return 0.0;
}

bool playback_front_impl::format_title(field_provider* hook, qiv::string_object& out, const title_script& script,
                                       title_text_filter* filter, std::int32_t level) {
  ensure_main_thread();
  if (!now_playing_) {
    out.set_string("");
    return false;
  }
  if (level < 0) return true;
  playback_fields fields(level, last_whole_seconds_, track_length_, engine_ && engine_->is_paused());
  title_hook_chain chain(hook, &fields);
  now_playing_->evaluate_script_locked(&chain, out, script, filter);
  return true;
}

void playback_front_impl::on_init() {
  output_volume::select_configured();
  output_volume::add_listener(this);
  if (output_volume::current()) output_volume::apply_volume(config::playback_volume_db.get());
  engine_ = service_lookup_unique_t<playback_engine>();
  engine_->set_callback(&playback_front_engine_callback());
  if (!output_volume::carries_volume()) engine_->set_volume(config::playback_volume_db.get());
  engine_->set_replaygain(config::playback_gain.get());
  engine_->set_dsp_chain(config::active_dsp_chain.value());
}

void playback_front_impl::on_quit() {
  if (engine_) engine_->stop();
  engine_.reset();
  // The device is let go here, in the shutdown's order, not by whatever runs
  // at the very end of the process.
  dsound_worker::shutdown();
  output_volume::remove_listener(this);
  output_volume::release();
}

void playback_front_impl::refresh_output() {
  if (is_playing() && !is_paused()) engine_->restart_output();
}

void playback_front_impl::on_engine_state_changed() {
  ensure_main_thread();
  if (!engine_ || !engine_->is_active()) return;
  if (engine_->has_ended()) {
    stop_with_reason(playback_listener::stop_ended);
    return;
  }
  if (engine_->wants_input()) queue_next_items();
  const std::int32_t id = engine_->current_id();
  if (id == -1) return;
  for (std::int32_t next = announced_id_ + 1; next <= id; ++next)
    if (!announce(next)) return;
}

void playback_front_impl::queue_next_items() {
  std::uint32_t command = std::exchange(pending_command_, 0);
  double queued = 0.0;
  for (;;) {
    service_ptr<playback_item> item;
    if (!playback_order::get().get_next(command, item)) {
      engine_->end_of_input();
      return;
    }
    const track_handle_ptr track = item->get_handle();
    engine_->enqueue({track, service_handle(item.get())});
    const double length = track ? track_handle_info::cached_length(*track) : 0.0;
    if (!(length > 0.0)) return;
    queued += length;
    if (queued >= queue_ahead_seconds) return;
    command = std::exchange(pending_command_, 0);
  }
}

bool playback_front_impl::announce(std::int32_t id) {
  // The item heard until now is judged as the next one is heard, while the
  // engine still holds it: it may fail to give its first sound after it was
  // announced. With repeat on the order would go round for ever, each item
  // failing in turn without a sound; playback stops, the errors stay shown.
  if (announced_id_ >= 0 &&
      failures_.item_done(playback_order::get().get_source(), announced_id_, engine_->get_item_failed(announced_id_))) {
    stop_with_reason(playback_listener::stop_ended);
    return false;
  }
  engine_->drop_items_before(id);
  engine_track pair;
  bool seekable = false;
  if (!engine_->get_item_track(id, pair) || !engine_->get_item_can_seek(id, seekable)) return true;
  can_seek_ = seekable;
  announced_id_ = id;
  last_whole_seconds_ = 0;
  now_playing_ = pair.track;
  track_length_ = now_playing_ ? track_handle_info::cached_length(*now_playing_) : 0.0;
  playback_listener_registry::raise_new_track(now_playing_);
  if (service_ptr<playback_item> item = service_query<playback_item>(pair.origin.get()))
    playback_order::get().set_current(item);
  return true;
}

void playback_front_impl::on_timer_tick() {
  on_engine_state_changed();
  if (!engine_ || !now_playing_) return;
  double position;
  if (!engine_->get_position(announced_id_, position)) return;
  const auto whole = static_cast<std::int64_t>(position);
  if (whole == last_whole_seconds_) return;
  last_whole_seconds_ = whole;
  playback_listener_registry::raise_time(static_cast<double>(whole));
}

void playback_front_impl::on_dsp_chain_changed(const dsp_chain& chain) {
  if (engine_) engine_->set_dsp_chain(chain);
}

void playback_front_impl::on_info_changed(const track_handle_list& handles) {
  if (!now_playing_) return;
  for (const track_handle_ptr& handle : handles) {
    if (handle.get() != now_playing_.get()) continue;
    track_length_ = track_handle_info::cached_length(*now_playing_);
    playback_listener_registry::raise_info_change(now_playing_);
    return;
  }
}
