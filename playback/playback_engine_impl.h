// The engine object: its operations (playback_engine.cpp) and its playback
// thread (playback_worker.cpp) share these fields. Main-thread requests
// travel as a value and a changed flag under a lock; the thread takes them
// at its next pass and applies them outside the lock.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>

#include "core/abort_signal.h"
#include "foundation/win32_handles.h"
#include "io/named_lock.h"
#include "playback/audio_block.h"
#include "playback/dsp_chain_instance.h"
#include "playback/item_opener.h"
#include "playback/output/output_device.h"
#include "playback/playback_engine.h"

namespace engine_detail {

// Milliseconds since a start, from the 32-bit system tick with its
// wrap-around carried into the upper half.
class tick_timer {
public:
  void restart() noexcept { start_ = now(); }
  double elapsed_seconds() noexcept { return static_cast<double>(now() - start_) / 1000.0; }

private:
  std::uint64_t now() noexcept {
    const DWORD tick = GetTickCount();
    if (tick < static_cast<DWORD>(last_)) last_ += 0x100000000ull;
    last_ = (last_ & ~0xFFFFFFFFull) | tick;
    return last_;
  }
  std::uint64_t start_ = 0;
  std::uint64_t last_ = 0;
};

struct queue_item {
  engine_track item;
  std::int32_t id = -1;
  // Where the item begins on the decoded-time line (which restarts at 0 on
  // every seek); valid with has_start.
  double start = 0.0;
  bool has_start = false;
  bool can_seek = false;
  bool info_ready = false;
  bool failed = false;  // before any of its sound was made
};
using queue_item_ptr = std::shared_ptr<queue_item>;

// Where the listener is: the heard time at the last status pass, run on by
// the clock for at most what was then buffered.
struct position_record {
  tick_timer timer;
  double base = 0.0;
  double limit = 0.0;
  bool valid = false;
  bool frozen = false;

  double estimate() {
    if (!valid) return 0.0;
    if (frozen) return base;
    const double elapsed = timer.elapsed_seconds();
    return base + (elapsed < limit ? elapsed : limit);
  }
};

// The time heard: what was decoded less what is still held on its way to
// the speakers. The two are sums of durations reckoned apart (the blocks'
// against the device's byte counts) and can differ by a rounding residue
// while nothing has played yet; that is no sound, or the clock would run the
// position on before the device starts and a pause would skip what was
// never heard.
inline double heard_time(double decoded, double held) noexcept {
  constexpr double residue = 1e-6;  // far below one frame at any stream rate
  const double heard = decoded - held;
  return heard < residue ? 0.0 : heard;
}

// Thrown inside a pass once an item failed and the callback let playback go
// on: the pass unwinds to the loop, which moves to the next item.
struct reopen_request {};

}  // namespace engine_detail

class engine_impl : public playback_engine {
public:
  engine_impl();
  ~engine_impl();

  bool is_active() override;
  bool has_ended() override;
  void set_callback(playback_engine_callback* callback) override { callback_ = callback; }
  void start(bool paused) override;
  void stop() override;
  void set_pause_request(bool paused) override;
  bool is_paused() override;
  bool wants_input() override;
  std::int32_t enqueue(const engine_track& item) override;
  void end_of_input() override;
  std::int32_t current_id() override;
  bool get_current_track(engine_track& out) override;
  bool get_item_track(std::int32_t id, engine_track& out) override;
  bool get_item_can_seek(std::int32_t id, bool& out) override;
  bool get_item_failed(std::int32_t id) override;
  void drop_items_before(std::int32_t id) override;
  bool seek(std::int32_t id, double seconds) override;
  bool get_position(std::int32_t id, double& out) override;
  void set_replaygain(const playback_gain_settings& settings) override;
  void set_volume(double decibels) override;
  void set_dsp_chain(const dsp_chain& chain) override;
  void restart_output() override;
  void pause() override;
  void resume() override;

private:
  using queue_item_ptr = engine_detail::queue_item_ptr;

  // Under the state lock.
  queue_item_ptr find_item(std::int32_t id) const;
  queue_item_ptr heard_item(double position) const;
  void start_thread();
  void stop_thread();

  // The playback thread (playback_worker.cpp).
  static DWORD WINAPI thread_entry(void* engine);
  void thread_body();
  [[noreturn]] void run_loop();
  void set_up_loop();
  void run_pass();
  void apply_requests();
  void take_seek_request();
  bool feed_output();
  void decode_step();
  void process_chunk();
  void take_next_item();
  void open_item(const track_handle_ptr& track);
  void compute_replaygain_scale();
  void drain();
  void status_pass();
  bool idle_step();
  void wait_for_work();
  void open_output();
  void flush_output_stage();
  void close_output_stage();
  void close_decoder();
  double run_dsp(std::uint32_t flags);
  [[noreturn]] void report_item_error(engine_item_error kind, const track_handle_ptr& track, double position,
                                      const std::exception& failure);
  void reopen_after_error();

  // Main-thread side, guarded by state_lock_.
  critical_section state_lock_;
  playback_engine_callback* callback_ = nullptr;
  std::deque<queue_item_ptr> queue_;
  std::int32_t next_id_ = 0;
  win32_handle thread_;
  win32_handle wake_event_;
  raisable_abort_signal abort_;
  engine_detail::position_record position_;
  bool end_of_input_ = false;
  bool input_wanted_ = true;
  bool ended_ = false;
  bool suspended_ = false;
  bool seek_request_ = false;
  double seek_target_ = 0.0;
  std::int32_t seek_id_ = -1;

  critical_section pause_lock_;
  bool pause_changed_ = false;
  bool pause_request_ = false;

  critical_section volume_lock_;
  bool volume_changed_ = false;
  double volume_ = 0.0;

  critical_section dsp_lock_;
  bool dsp_changed_ = false;
  dsp_chain dsp_settings_;

  critical_section replaygain_lock_;
  playback_gain_settings replaygain_settings_{};

  // Playback thread only: the decoder side.
  decoder_holder decoder_;
  track_handle_ptr track_;
  service_ptr<named_lock> path_lock_;
  double position_in_item_ = 0.0;
  float replaygain_scale_ = 1.0f;
  bool holder_paused_ = false;

  // Playback thread only: the output side.
  service_ptr<output_device> device_;
  double device_volume_ = 0.0;
  bool output_paused_ = false;
  bool fresh_ = false;
  double written_ = 0.0;
  double latency_ = 0.0;
  dsp_chain_instance dsp_;
  double buffered_ = 0.0;
  double decoded_ = 0.0;
  bool drained_ = false;
  audio_block_list waiting_;

  // Playback thread only: one run of the loop.
  audio_block scratch_;
  bool decoder_open_ = false;
  bool seek_pending_ = false;
  double seek_offset_ = 0.0;
  bool paused_ = false;
  bool pass_idle_ = false;
  queue_item_ptr current_;
  std::int32_t last_reported_id_ = -1;
  engine_detail::tick_timer run_timer_;
  double last_status_ = 0.0;
  double last_idle_ = 0.0;
};
