#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "foundation/crash.h"
#include "foundation/string_small.h"
#include "io/io_exceptions.h"
#include "metadata/track_handle_registry.h"
#include "metadata/title/title_script.h"
#include "playback/playback_error_popup.h"
#include "playback/playback_front.h"
#include "playback/playback_listeners.h"
#include "playback_capture/playback_process.h"
#include "support/message_pump.h"
#include "support/signal_input.h"

namespace {

service_factory_single_t<signal_test::signal_input> signal_input_registration;

// Writes each event as a short line: "start 1", "track C:\a.sig", "stop 1",
// "volume -3", "time 1".
class event_log : public playback_listener {
public:
  std::vector<std::string> events;

  void on_starting(std::uint32_t command, bool) override { events.push_back("start " + std::to_string(command)); }
  void on_new_track(const track_handle_ptr& track) override {
    events.push_back(std::string("track ") + track->get_location().get_path());
  }
  void on_stop(std::uint32_t reason) override { events.push_back("stop " + std::to_string(reason)); }
  void on_time(double seconds) override { events.push_back("time " + std::to_string(std::lround(seconds))); }
  void on_volume_change(float decibels) override {
    events.push_back("volume " + std::to_string(std::lround(decibels)));
  }
  bool stopped() const { return !events.empty() && events.back().rfind("stop", 0) == 0; }
  // The events without the position reports, whose number depends on how
  // long the machine took to play.
  std::vector<std::string> without_time() const {
    std::vector<std::string> kept;
    for (const std::string& event : events)
      if (event.rfind("time ", 0) != 0) kept.push_back(event);
    return kept;
  }
};

class FrontEnd : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    set_up_playback_process();
    playback_front_get().on_init();
    // The popup opens over the main window.
    app::state().ui_main_window = CreateWindowExW(0, L"STATIC", L"main", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                                  nullptr, nullptr, nullptr, nullptr);
  }
  void SetUp() override { playback_listener_registry::add(&log, ~0u, false); }
  void TearDown() override {
    playback_listener_registry::remove(&log);
    playback_front_get().stop();
  }

  static track_handle_ptr item(const char* path, const signal_test::signal_spec& spec) {
    signal_test::signal_table::get().set(path, spec);
    return track_handle_registry::get_handle(track_location(path, 0));
  }
  static void play(const track_handle_list& items) {
    playback_order::get().reset();
    playback_order::get().set_source(playback_item_list_create(items));
    playback_front_get().start(command_play, false);
  }
  bool play_to_the_end() {
    return pump_until([&] { return log.stopped(); }, 30000);
  }

  event_log log;
};

// Consecutive items are announced in order and playback ends once, by itself.
TEST_F(FrontEnd, AnnouncesEachItemThenEnds) {
  play({item("C:\\front\\a.sig", {0, 48000}), item("C:\\front\\b.sig", {48000, 48000})});
  ASSERT_TRUE(play_to_the_end());
  EXPECT_EQ(log.without_time(), (std::vector<std::string>{"start 1", "track C:\\front\\a.sig", "track C:\\front\\b.sig",
                                                  "stop 1"}));
}

// The position timer reports each whole second once, in order, and titles
// see the playback fields from their level on.
TEST_F(FrontEnd, TimeIsReportedInWholeSecondsAndTitled) {
  signal_test::signal_spec spec{0, 480000};
  spec.reports_length = false;
  play({item("C:\\front\\ten.sig", spec)});
  ASSERT_TRUE(pump_until([&] { return !log.events.empty() && log.events.back() == "time 3"; }, 20000));
  EXPECT_EQ(log.events, (std::vector<std::string>{"start 1", "track C:\\front\\ten.sig", "time 1", "time 2", "time 3"}));

  const auto script = title_script::compile("[%isplaying%]|[%playback_time%]|[%_time_total%]");
  struct title_case {
    std::int32_t level;
    const char* expected;
  };
  for (const title_case c : {title_case{0, "||"}, title_case{1, "1||"}, title_case{3, "1|0:03|"}}) {
    qiv::string_small title;
    EXPECT_TRUE(playback_front_get().format_title(nullptr, title, *script, nullptr, c.level));
    EXPECT_STREQ(title.get_ptr(), c.expected) << "level " << c.level;
  }
}

// A run started paused plays once resumed.
TEST_F(FrontEnd, StartedPausedPlaysWhenResumed) {
  playback_front_impl& front = playback_front_get();
  play({item("C:\\front\\paused.sig", {0, 9600})});
  front.stop();
  playback_front_get().start(command_play, true);
  EXPECT_TRUE(front.is_paused());
  front.pause(false);
  EXPECT_FALSE(front.is_paused());
  ASSERT_TRUE(play_to_the_end());
}

// An item that cannot be opened is reported in the popup and playback goes
// on with the next one, after the second of silence that stands in for it.
TEST_F(FrontEnd, UnopenableItemIsReportedAndSkipped) {
  const track_handle_ptr broken = item("C:\\front\\broken.sig", {0, 48000, true, true});
  play({broken, item("C:\\front\\good.sig", {0, 9600})});
  ASSERT_TRUE(play_to_the_end());
  EXPECT_EQ(log.without_time(), (std::vector<std::string>{"start 1", "track C:\\front\\broken.sig",
                                                  "track C:\\front\\good.sig", "stop 1"}));
  qiv::string_small location;
  broken->get_location().format_for_display(location);
  EXPECT_EQ(playback_error_popup::text(), std::string("Unable to open item for playback (") +
                                              vantrel_io::exception_io_data().what() + "):\r\n" +
                                              location.get_ptr());
  DestroyWindow(playback_error_popup::window());
}

// One run shows 33 messages and a mark; once closed, the popup keeps quiet
// for 10 s unless a new run starts.
TEST_F(FrontEnd, PopupLimitsAndQuietTime) {
  playback_error_popup::start_new_run();
  for (int i = 0; i < 35; ++i) playback_error_popup::show(("error " + std::to_string(i)).c_str());
  std::string expected = "error 0";
  for (int i = 1; i < 33; ++i) expected += "\r\n\r\nerror " + std::to_string(i);
  EXPECT_EQ(playback_error_popup::text(), expected + "\r\n\r\n(...)");
  SendMessageW(playback_error_popup::window(), WM_CLOSE, 0, 0);
  ASSERT_EQ(playback_error_popup::window(), nullptr);
  playback_error_popup::show("soon after closing");
  EXPECT_EQ(playback_error_popup::window(), nullptr);
  playback_error_popup::start_new_run();
  playback_error_popup::show("a new run");
  ASSERT_NE(playback_error_popup::window(), nullptr);
  EXPECT_EQ(playback_error_popup::text(), "a new run");
  DestroyWindow(playback_error_popup::window());

  struct quiet_case {
    const char* why;
    bool closed_this_run;
    DWORD closed_at, now;
    bool quiet;
  };
  const quiet_case cases[] = {
      {"5 s after closing", true, 1000, 6000, true},
      {"exactly 10 s after closing", true, 1000, 11000, true},
      {"11 s after closing", true, 1000, 12000, false},
      {"closed in an earlier run", false, 1000, 2000, false},
      {"across the tick count's wrap", true, 0xFFFFF000u, 0x1000u, true},
  };
  for (const quiet_case& c : cases)
    EXPECT_EQ(playback_error_popup::keeps_quiet(c.closed_this_run, c.closed_at, c.now), c.quiet) << c.why;
}

TEST_F(FrontEnd, VolumeIsClampedMutedAndAnnouncedOnChange) {
  playback_front_impl& front = playback_front_get();
  struct volume_case {
    const char* why;
    float set;
    float stored;
  };
  const volume_case cases[] = {
      {"above full is full", 3.0f, 0.0f},
      {"below silence is silence", -150.0f, -100.0f},
      {"in range is kept", -12.5f, -12.5f},
      {"not a number is silence", std::numeric_limits<float>::quiet_NaN(), -100.0f},
  };
  for (const volume_case& c : cases) {
    front.set_volume(c.set);
    EXPECT_EQ(front.get_volume(), c.stored) << c.why;
  }
  front.set_volume(-3.0f);
  log.events.clear();
  front.set_volume(-3.0f);
  EXPECT_TRUE(log.events.empty()) << "the same volume again is no change";
  front.toggle_mute();
  EXPECT_EQ(front.get_volume(), -100.0f);
  front.toggle_mute();
  EXPECT_EQ(front.get_volume(), -3.0f);
  advanced_settings::volume_step_db.set_state("", 0);
  front.volume_up();
  EXPECT_EQ(front.get_volume(), -3.0f) << "an empty step moves nothing";
  advanced_settings::volume_step_db.reset();
  front.volume_down();
  EXPECT_EQ(front.get_volume(), -4.0f);
  EXPECT_EQ(log.events, (std::vector<std::string>{"volume -100", "volume -3", "volume -4"}));
  front.set_volume(0.0f);
}

// Seeking clamps to the track; a track whose length is not known yet is
// only kept from going below 0.
TEST_F(FrontEnd, SeekIsClampedToTheTrack) {
  struct seek_case {
    const char* why;
    bool length_known;
    double target;
    double expected;
  };
  const seek_case cases[] = {
      {"below the start", true, -5.0, 0.0},
      {"beyond the end of a 10 s track", true, 1e9, 10.0},
      {"within an unknown length", false, 4.0, 4.0},
  };
  playback_front_impl& front = playback_front_get();
  int run = 0;
  for (const seek_case& c : cases) {
    const std::string path = "C:\\front\\seek" + std::to_string(run++) + ".sig";
    signal_test::signal_spec spec{0, 480000};
    spec.reports_length = c.length_known;
    play({item(path.c_str(), spec)});
    ASSERT_TRUE(pump_until([&] { return log.events.size() >= 2 && (!c.length_known || front.can_seek()); }, 10000));
    // The info read at the open reaches the handle through the main thread.
    pump_until([] { return false; }, 100);
    front.seek(c.target);
    EXPECT_NEAR(front.get_position(), c.expected, 0.3) << c.why;
    front.stop();
    log.events.clear();
  }
}

// A listener that changes playback from inside an event would leave the
// others with a stale picture: the process stops.
class stopping_listener : public playback_listener {
public:
  void on_new_track(const track_handle_ptr&) override { playback_front_get().stop(); }
};

TEST_F(FrontEnd, ListenerChangingPlaybackDuringAnEventIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        static stopping_listener listener;
        playback_listener_registry::add(&listener, playback_listener::mask_new_track, false);
        play({item("C:\\front\\fatal.sig", {0, 48000})});
        pump_until([] { return false; }, 10000);
      },
      [](int code) { return static_cast<DWORD>(code) == qiv::crash_exception_code; }, "");
}

}  // namespace
