// One open DirectSound output: a secondary buffer on one device, fed from a
// small ring of PCM bytes by the process's one feeding thread
// (playback/output/dsound_worker.h), with its own played-time clock that
// drives volume ramps and fades. The output front end creates streams and
// writes into them; once it lets go (request_close or fade_out_and_close)
// the stream belongs to the feeding thread, which destroys it.
#pragma once

#include <windows.h>
#include <dsound.h>

#include <cstdint>

#include "foundation/array.h"
#include "foundation/com_ptr.h"

struct dsound_stream_spec {
  std::uint32_t sample_rate = 0;
  std::uint32_t channels = 0;
  std::uint32_t bits = 0;  // per sample in the buffer
  std::uint32_t channel_mask = 0;
  bool is_float = false;
  double buffer_seconds = 0.0;  // the lead the stream keeps queued
  GUID device = {};             // null: the system's default device
};

// Byte counts, all whole frames.
struct dsound_stream_sizes {
  std::int32_t ring;             // 0.25 s: writers are throttled by it
  std::int32_t start_threshold;  // half the lead, at most 1 s
  std::int32_t minimum_lead;     // 0.05 s the cursor must stay behind new data
  std::int32_t target_fill;      // the lead
  std::int32_t buffer;           // the lead plus 0.2 s
  std::int32_t silence_pad;      // 1/15 s laid after the data against underruns
  std::uint32_t bytes_per_second;

  static dsound_stream_sizes of(const dsound_stream_spec& spec) noexcept;
};

class output_dsound_stream {
public:
  // The new stream is in the feeding thread's list (which starts the thread
  // when none runs); the device opens at its first update.
  static output_dsound_stream* create(const dsound_stream_spec& spec);

  // The failure that stopped the stream (0 when none). A stream in error
  // refuses writes and ramps and waits for its owner to close it.
  HRESULT get_error();
  // Appends whole frames to the ring; false, writing nothing, when they do
  // not fit or the stream is in error.
  bool write(const void* bytes, std::uint32_t count);
  bool is_playing();
  double get_latency();
  // Bytes written but not yet heard.
  std::int32_t get_buffered_bytes();
  // What may be written now without exceeding the lead or the ring.
  std::uint32_t get_writable_bytes();
  // Start playing even below the start threshold (the last data of a track).
  void force_start();
  void set_pause_request(bool pause);
  // Gains are linear, times in seconds of played audio.
  void ramp_volume_from(double from_gain, double to_gain, double seconds);
  void ramp_volume_to(double to_gain, double seconds);
  // Fades to silence, then pauses; or resumes and fades back to resume_gain.
  void pause_with_fade(double fade_seconds, double resume_gain, bool pause);
  // The owner lets go: destroyed at the next pass, or, when all its data
  // has passed the cursor, once the cursor is the silence pad beyond it.
  void request_close();
  // The owner lets go: fades out over `seconds` (at most what is buffered),
  // then destroyed; at once when 0 or paused; with nothing buffered, as
  // request_close.
  void fade_out_and_close(double seconds);
  void set_volume(double gain);

private:
  friend class dsound_worker_access;
  explicit output_dsound_stream(const dsound_stream_spec& spec);
  ~output_dsound_stream();

  // One pass of the feeding thread, under the global lock: false when the
  // stream has finished and is to be destroyed.
  bool update();
  bool update_steps();
  void create_buffer();
  void fill_silence(std::int32_t offset, std::int32_t length);
  void copy_from_ring(std::int32_t offset, std::int32_t length);
  void move_ring_to_buffer();
  void prebuffer_from_ring();
  void start();
  void reset_after_play_out();
  void measure_queued_ahead();
  void silence_played(std::int32_t play_cursor);
  void note_ran_dry() noexcept;
  // False when a close-after ramp has ended.
  bool step_ramp();
  void begin_ramp(double from_gain, double to_gain, double seconds);
  double ramp_progress() const noexcept;
  bool fading_to_pause() const noexcept { return ramp_active_ && pause_after_ramp_; }
  bool fading_to_close() const noexcept { return ramp_active_ && close_after_ramp_; }
  bool is_playing_out_tail() const noexcept;
  std::uint32_t frame_bytes() const noexcept { return spec_.channels * (spec_.bits / 8); }
  std::int32_t buffered_bytes() const noexcept;
  std::uint32_t ring_free() const noexcept { return static_cast<std::uint32_t>(sizes_.ring) - ring_fill_; }

  const dsound_stream_spec spec_;
  const dsound_stream_sizes sizes_;
  std::uint32_t number_ = 0;  // 0 until the device opens
  qiv::com_ptr<IDirectSound> device_;
  qiv::com_ptr<IDirectSoundBuffer> buffer_;

  qiv::byte_array ring_;
  std::uint32_t ring_read_ = 0, ring_write_ = 0, ring_fill_ = 0;

  std::int32_t silence_ahead_ = 0;
  std::int32_t write_offset_ = 0;
  std::int32_t queued_ahead_ = 0;
  // Where the cursor stood at the last measurement: all behind it is silent.
  std::int32_t played_up_to_ = 0;
  // All the audio laid into the buffer, and whether the cursor has since run
  // past the last of it: the next audio then comes after silence.
  std::int64_t bytes_laid_ = 0;
  bool ran_past_audio_ = false;

  bool paused_ = false;
  bool prebuffering_ = true;
  bool start_request_ = false;
  bool pause_request_ = false;

  double played_time_ = 0.0;
  bool ramp_active_ = false, close_after_ramp_ = false, pause_after_ramp_ = false;
  double ramp_start_ = 0.0, ramp_end_ = 0.0;
  double ramp_from_ = 0.0, ramp_to_ = 0.0;
  double current_gain_ = 1.0;
  double applied_gain_ = -1.0;

  bool integer_fallback_ = false;
  bool error_ = false;
  HRESULT error_code_ = S_OK;
  bool closing_ = false;
};
