#include "playback/playback_listeners.h"

#include "core/config_item_registrations.h"
#include "core/main_thread_guard.h"
#include "core/service_registry.h"
#include "foundation/crash.h"
#include "foundation/main_thread.h"

namespace {

struct listener_entry {
  playback_listener* listener;
  std::uint32_t mask;
};

struct registry_state {
  std::vector<listener_entry> entries;
  bool playing = false;
  bool paused = false;
  double time = 0.0;
  track_handle_ptr now_playing;
  bool services_registered = false;
};

registry_state& listener_registry_state() {
  static registry_state s;
  return s;
}

void check_caller() {
  if (!is_main_thread() || playback_event_dispatch_flag::get()) qiv::crash();
}

// One listener call with the guard up, put back also when the listener throws.
template <class Call>
void guarded(Call call) {
  const bool previous = playback_event_dispatch_flag::set(true);
  try {
    call();
  } catch (...) {
    playback_event_dispatch_flag::set(previous);
    throw;
  }
  playback_event_dispatch_flag::set(previous);
}

// The count is taken first: nothing can register during the dispatch.
template <class Call>
void dispatch(std::uint32_t bit, Call call) {
  registry_state& s = listener_registry_state();
  const std::size_t count = s.entries.size();
  for (std::size_t i = 0; i < count; ++i) {
    if (!(s.entries[i].mask & bit)) continue;
    playback_listener* listener = s.entries[i].listener;
    guarded([&] { call(*listener); });
  }
}

void register_services_once() {
  registry_state& s = listener_registry_state();
  if (s.services_registered) return;
  s.services_registered = true;
  for (const service_ptr<playback_listener_service>& service : service_list_t<playback_listener_service>())
    s.entries.push_back({&service->listener(), service->get_mask()});
}

}  // namespace

namespace playback_listener_registry {

void add(playback_listener* listener, std::uint32_t mask, bool catch_up) {
  check_caller();
  registry_state& s = listener_registry_state();
  if (s.entries.capacity() == 0) s.entries.reserve(32);
  s.entries.push_back({listener, mask});
  if (!catch_up) return;
  if (mask & playback_listener::mask_volume_change)
    guarded([&] { listener->on_volume_change(config::playback_volume_db.get()); });
  if (!s.playing) return;
  if (mask & playback_listener::mask_starting) guarded([&] { listener->on_starting(0, s.paused); });
  if (!s.now_playing) return;
  const track_handle_ptr track = s.now_playing;
  if (mask & playback_listener::mask_new_track) guarded([&] { listener->on_new_track(track); });
  if (mask & playback_listener::mask_time) guarded([&] { listener->on_time(s.time); });
}

void remove(playback_listener* listener) {
  check_caller();
  std::vector<listener_entry>& entries = listener_registry_state().entries;
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (it->listener == listener) {
      entries.erase(it);
      return;
    }
  }
}

void raise_starting(std::uint32_t command, bool paused) {
  register_services_once();
  registry_state& s = listener_registry_state();
  s.time = 0.0;
  s.paused = paused;
  s.playing = true;
  dispatch(playback_listener::mask_starting, [&](playback_listener& l) { l.on_starting(command, paused); });
}

void raise_new_track(const track_handle_ptr& track) {
  listener_registry_state().now_playing = track;
  dispatch(playback_listener::mask_new_track, [&](playback_listener& l) { l.on_new_track(track); });
}

void raise_stop(std::uint32_t reason) {
  registry_state& s = listener_registry_state();
  s.playing = false;
  s.now_playing.reset();
  dispatch(playback_listener::mask_stop, [&](playback_listener& l) { l.on_stop(reason); });
}

void raise_seek(double position) {
  listener_registry_state().time = position;
  dispatch(playback_listener::mask_seek, [&](playback_listener& l) { l.on_seek(position); });
}

void raise_pause(bool paused) {
  listener_registry_state().paused = paused;
  dispatch(playback_listener::mask_pause, [&](playback_listener& l) { l.on_pause(paused); });
}

void raise_info_change(const track_handle_ptr& track) {
  dispatch(playback_listener::mask_info_change, [&](playback_listener& l) { l.on_info_change(track); });
}

void raise_time(double seconds) {
  listener_registry_state().time = seconds;
  dispatch(playback_listener::mask_time, [&](playback_listener& l) { l.on_time(seconds); });
}

void raise_volume_change(float decibels) {
  register_services_once();
  config::playback_volume_db.set(decibels);
  dispatch(playback_listener::mask_volume_change, [&](playback_listener& l) { l.on_volume_change(decibels); });
}

bool dispatch_in_progress() noexcept { return playback_event_dispatch_flag::get(); }

}  // namespace playback_listener_registry
