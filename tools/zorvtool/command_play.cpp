// zorvtool play PATH... [--seek SECONDS]: plays the files one after another
// through the player's own front end, engine and output, as the Play command
// would, and waits until playback ends. Prints each track as it starts, where
// the output ran dry, and the reason playback stopped; items that fail are
// reported as the player's error popup words them.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "core/app_state.h"
#include "core/hidden_main_window.h"
#include "core/main_thread_queue.h"
#include "foundation/main_thread.h"
#include "metadata/track_handle_registry.h"
#include "playback/output/dsound_underruns.h"
#include "playback/output/dsound_worker.h"
#include "playback/playback_error_popup.h"
#include "playback/playback_front.h"
#include "playback/playback_listeners.h"
#include "playback/playback_order.h"
#include "tools/zorvtool/zorvtool_command.h"

namespace {

class play_reporter : public playback_listener {
public:
  bool stopped = false;
  bool announced = false;
  std::uint32_t reason = 0;

  void on_new_track(const track_handle_ptr& track) override {
    announced = true;
    zorvtool::print(std::string("track ") + track->get_location().get_path() + "\n");
  }
  void on_stop(std::uint32_t stop_reason) override {
    stopped = true;
    reason = stop_reason;
  }
};

// Where the output ran dry, so that a check of the captured sound can tell
// the player's silence from silence a busy machine put in.
void print_underruns() {
  for (const dsound_underrun& underrun : dsound_underruns::first_recorded()) {
    char line[128];
    std::snprintf(line, sizeof(line), "ran dry: stream %u after %lld frames at %u Hz\n", underrun.stream,
                  static_cast<long long>(underrun.frames_before), underrun.sample_rate);
    zorvtool::print(line);
  }
  const std::uint32_t count = dsound_underruns::count();
  if (count > dsound_underruns::first_recorded().size())
    zorvtool::print("ran dry: " + std::to_string(count) + " times in all\n");
}

// Runs the main thread's work the way the player's message loop does, until
// `done` holds.
template <class Condition>
void pump_until(Condition done) {
  while (!done()) {
    MSG message;
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    } else {
      main_thread_queue::drain(false);
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
  }
}

int run_play(const zorvtool::arguments& args) {
  double seek_seconds = -1.0;
  track_handle_list items;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--seek") {
      if (i + 1 == args.size()) throw std::runtime_error("--seek needs a value");
      seek_seconds = std::strtod(args[++i].c_str(), nullptr);
      if (!(seek_seconds >= 0.0)) throw std::runtime_error("--seek takes seconds from 0 up");
      continue;
    }
    const std::string path = zorvtool::system_path(args[i]);
    items.push_back(track_handle_registry::get_handle(track_location(path.c_str(), 0)));
  }
  if (items.empty()) throw std::runtime_error("usage: zorvtool play PATH... [--seek SECONDS]");

  qiv::set_main_thread_id(GetCurrentThreadId());
  hidden_main_window::create();
  // An invisible owner for the error popup, so failures are collected the
  // way the player shows them.
  app::state().ui_main_window =
      CreateWindowExW(0, L"STATIC", L"zorvtool", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);

  playback_front_impl& front = playback_front_get();
  front.on_init();
  play_reporter reporter;
  playback_listener_registry::add(&reporter, ~0u, false);

  playback_order::get().set_source(playback_item_list_create(items));
  // A start position is taken before anything is decoded: the run starts
  // paused, so not a block of the track's beginning reaches the output,
  // and the seek waits on the first item, which a new run numbers 0.
  const bool starts_later = seek_seconds >= 0.0;
  front.start(command_play, starts_later);
  if (starts_later) {
    playback_engine* engine = front.engine();
    engine_track first;
    pump_until([&] { return engine->get_item_track(0, first) || reporter.stopped; });
    if (!reporter.stopped) engine->seek(0, seek_seconds);
    front.pause(false);
  }
  pump_until([&] { return reporter.stopped; });
  // The last stream plays out before the output lets the feeding thread go.
  pump_until([] { return !dsound_worker::is_running(); });

  playback_listener_registry::remove(&reporter);
  front.on_quit();
  print_underruns();
  const std::string errors = playback_error_popup::text();
  if (!errors.empty()) zorvtool::print_error(errors + "\n");
  zorvtool::print("stopped " + std::to_string(reporter.reason) + "\n");
  return errors.empty() ? 0 : 1;
}

const zorvtool::command_registration registration(
    {"play", "play PATH... [--seek SECONDS]  play files through the player's front end and output", run_play});

}  // namespace
