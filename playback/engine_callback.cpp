#include "playback/engine_callback.h"

#include <string>

#include "core/main_thread_queue.h"
#include "playback/playback_error_popup.h"
#include "playback/playback_front.h"

namespace {

void post(std::function<void()> work) {
  main_thread_queue::post(new service_counted<main_thread_call>(std::move(work)));
}

void post_state_change() {
  post([] { playback_front_get().on_engine_state_changed(); });
}

// Runs on the playback thread: it only copies what it needs and posts.
class front_engine_callback final : public playback_engine_callback {
public:
  void on_fatal_error(const std::exception& failure) override {
    const std::string text = std::string("Unrecoverable playback error: ") + failure.what();
    post([text] { playback_error_popup::show(text.c_str()); });
  }
  void on_aborted() override {}
  bool on_item_error(engine_item_error kind, const track_handle_ptr& track, double position,
                     const std::exception& failure) override {
    const std::string message = failure.what();
    post([kind, track, position, message] {
      playback_error_popup::show(
          playback_item_error_text(static_cast<std::uint32_t>(kind), track.get(), position, message.c_str()).c_str());
    });
    return true;
  }
  void on_state_changed() override { post_state_change(); }
  void on_current_item_changed(std::int32_t) override { post_state_change(); }
  void on_ended() override { post_state_change(); }
  void on_block_written(const audio_block&, double) override {}
  void on_output_reset() override {}
  void on_pause_changed(bool) override {}
  void on_position(double, double) override {}
};

}  // namespace

playback_engine_callback& playback_front_engine_callback() {
  static front_engine_callback callback;
  return callback;
}
