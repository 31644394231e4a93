#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "io/named_lock.h"
#include "metadata/track_handle_registry.h"
#include "playback/output/dsound_worker.h"
#include "playback/playback_engine.h"
#include "playback_capture/playback_process.h"
#include "support/capture_wav.h"
#include "support/message_pump.h"
#include "support/signal_input.h"

namespace {

service_factory_single_t<signal_test::signal_input> signal_input_registration;

// Records what the engine reports; every item error lets playback go on.
class recording_callback : public playback_engine_callback {
public:
  std::mutex lock;
  std::vector<std::int32_t> current_ids;
  int ended = 0;

  void on_fatal_error(const std::exception& e) override { ADD_FAILURE() << "fatal: " << e.what(); }
  void on_aborted() override {}
  bool on_item_error(engine_item_error, const track_handle_ptr&, double, const std::exception& e) override {
    ADD_FAILURE() << "item error: " << e.what();
    return true;
  }
  void on_state_changed() override {}
  void on_current_item_changed(std::int32_t id) override {
    std::lock_guard<std::mutex> hold(lock);
    current_ids.push_back(id);
  }
  void on_ended() override {
    std::lock_guard<std::mutex> hold(lock);
    ++ended;
  }
  void on_block_written(const audio_block&, double) override {}
  void on_output_reset() override {}
  void on_pause_changed(bool) override {}
  void on_position(double heard, double) override {
    if (heard > heard_most.load()) heard_most.store(heard);
  }
  std::atomic<double> heard_most{0.0};
};

// Runs of consecutive source frames heard: silence the player left and any
// jump start a new run.
std::vector<std::pair<std::int64_t, std::int64_t>> captured_runs() {
  const std::vector<float> samples = capture_wav::read_heard();
  std::vector<std::pair<std::int64_t, std::int64_t>> runs;
  std::int64_t previous = -1;
  for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
    const std::int64_t frame = signal_test::frame_of(samples[i], samples[i + 1]);
    if (frame >= 0 && previous >= 0 && frame == previous + 1) runs.back().second = frame;
    else if (frame >= 0) runs.emplace_back(frame, frame);
    previous = frame;
  }
  return runs;
}

// What a failed check saw: the runs, each device stream's length and where
// the output ran dry.
std::string describe_capture(const std::vector<std::pair<std::int64_t, std::int64_t>>& runs) {
  std::string text = "runs:";
  for (const auto& run : runs) text += " [" + std::to_string(run.first) + ", " + std::to_string(run.second) + "]";
  text += "; stream frames:";
  for (const std::vector<float>& stream : capture_wav::read_streams()) text += " " + std::to_string(stream.size() / 2);
  text += "; ran dry: " + capture_wav::player_ran_dry();
  return text;
}

class EngineCapture : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    set_up_playback_process();
    capture_wav::remove();
  }

  engine_track item(const char* path, const signal_test::signal_spec& spec) {
    signal_test::signal_table::get().set(path, spec);
    return {track_handle_registry::get_handle(track_location(path, 0)), {}};
  }

  void start(std::initializer_list<engine_track> items) {
    engine->set_callback(&callback);
    engine->start(false);
    for (const engine_track& queued : items) engine->enqueue(queued);
    engine->end_of_input();
  }

  // Until the engine reports the end, then until the last sound left the
  // system's mixer and the output is gone.
  void play_out() {
    ASSERT_TRUE(pump_until([&] {
      std::lock_guard<std::mutex> hold(callback.lock);
      return callback.ended > 0;
    }, 30000));
    Sleep(200);
    engine->stop();
    ASSERT_TRUE(pump_until([] { return !dsound_worker::is_running(); }, 5000));
    EXPECT_EQ(capture_wav::player_ran_dry(), "");
  }

  // Until the device reports that audio was heard, however slow the machine.
  void wait_until_heard(double seconds) {
    ASSERT_TRUE(pump_until([&] { return callback.heard_most.load() >= seconds; }, 10000));
  }

  recording_callback callback;
  service_ptr<playback_engine> engine = playback_engine_create();
};

using runs = std::vector<std::pair<std::int64_t, std::int64_t>>;

// Two items of 1 s join into one unbroken stretch: no zero at the seam, the
// ids announced in order and one end.
TEST_F(EngineCapture, GaplessItemsPlayAsOneStretch) {
  start({item("C:\\gapless\\a.sig", {0, 48000}), item("C:\\gapless\\b.sig", {48000, 48000})});
  ASSERT_TRUE(pump_until([&] {
    std::lock_guard<std::mutex> hold(callback.lock);
    return callback.ended > 0;
  }, 30000));
  // Playback ran out but is not stopped: the files are free for tag writers.
  EXPECT_EQ(named_lock_query_state("C:\\gapless\\b.sig").shared_holders, 0u);
  play_out();
  EXPECT_EQ(captured_runs(), (runs{{0, 95999}}));
  EXPECT_EQ(callback.current_ids, (std::vector<std::int32_t>{0, 1}));
  EXPECT_EQ(callback.ended, 1);
}

// With no seek fade, the capture jumps from where it was straight to source
// frame 24,000 and plays on to the end.
TEST_F(EngineCapture, SeekResumesAtTheExactFrame) {
  start({item("C:\\seek\\a.sig", {0, 144000})});
  wait_until_heard(0.1);
  ASSERT_TRUE(engine->seek(0, 0.5));
  play_out();
  const runs captured = captured_runs();
  ASSERT_EQ(captured.size(), 2u) << describe_capture(captured);
  EXPECT_EQ(captured[0].first, 0) << describe_capture(captured);
  EXPECT_EQ(captured[1], (std::pair<std::int64_t, std::int64_t>{24000, 143999})) << describe_capture(captured);
}

// Pausing stops the thread; resuming reopens the item and goes on from the
// position the engine held when paused.
TEST_F(EngineCapture, PauseResumeContinuesAtThePositionReached) {
  start({item("C:\\pause\\a.sig", {0, 144000})});
  ASSERT_TRUE(pump_until([&] {
    double position;
    return engine->get_position(0, position) && position > 0.1;
  }, 10000));
  engine->pause();
  EXPECT_TRUE(engine->is_paused());
  EXPECT_TRUE(engine->is_active());
  double resume_point = -1;
  ASSERT_TRUE(engine->get_position(0, resume_point));
  EXPECT_GT(resume_point, 0.0);
  Sleep(100);
  engine->resume();
  // A pause forgets the end of input: the front end says it again once the
  // engine asks for more.
  engine->end_of_input();
  play_out();
  const runs captured = captured_runs();
  const std::string seen = describe_capture(captured) + "; paused at " + std::to_string(resume_point) + " s (frame " +
                           std::to_string(std::lround(resume_point * 48000)) + ")";
  ASSERT_GE(captured.size(), 2u) << seen;
  EXPECT_EQ(captured.front().first, 0) << seen;
  EXPECT_EQ(captured.back(), (std::pair<std::int64_t, std::int64_t>{std::lround(resume_point * 48000), 143999}))
      << seen;
}

// A tag writer asking for the playing file gets it at once; afterwards the
// engine reopens the file where decoding stood, so nothing is lost or
// repeated.
TEST_F(EngineCapture, LockRequestReleasesAndReopensInPlace) {
  const int opens_before = signal_test::signal_table::get().opens;
  start({item("C:\\lock\\a.sig", {0, 480000})});
  Sleep(300);
  service_ptr<named_lock> writer;
  named_lock::acquire_exclusive(writer, "C:\\lock\\a.sig", never_raised_abort_signal());
  // At once: long before decoding would have reached the end of the 10 s
  // and let the file go anyway (a busy machine makes no wait in time exact).
  double heard = 0.0;
  ASSERT_TRUE(engine->get_position(0, heard));
  EXPECT_LT(heard, 5.0);
  Sleep(200);
  writer.reset();
  play_out();
  EXPECT_EQ(captured_runs(), (runs{{0, 479999}}));
  EXPECT_EQ(signal_test::signal_table::get().opens - opens_before, 2);
}

}  // namespace
