#include "playback/output/dsound_stream.h"

#include <mmreg.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/app_state.h"
#include "core/hidden_main_window.h"
#include "foundation/win32_error.h"
#include "playback/channel_mask.h"
#include "playback/output/dsound_device.h"
#include "playback/output/dsound_underruns.h"
#include "playback/output/dsound_worker.h"
#include "playback/sample_conversion.h"

namespace {

constexpr GUID subtype_pcm = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID subtype_float = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

std::int32_t bytes_for(const dsound_stream_spec& spec, double seconds) noexcept {
  const double frames = std::floor(seconds * spec.sample_rate + 0.5);
  return static_cast<std::int32_t>(frames) * static_cast<std::int32_t>(spec.channels * (spec.bits / 8));
}

// The user interface's main window, or the hidden one when there is none
// (before the main window exists, and always with "/quiet"): DirectSound
// refuses a null window.
HWND cooperation_window() noexcept {
  HWND window = app::state().ui_main_window;
  return window ? window : hidden_main_window::get();
}

std::uint32_t devices_opened = 0;  // under the feeding lock

} // namespace

dsound_stream_sizes dsound_stream_sizes::of(const dsound_stream_spec& spec) noexcept {
  const double lead = spec.buffer_seconds;
  return {bytes_for(spec, 0.25),
          bytes_for(spec, std::min(0.5 * lead, 1.0)),
          bytes_for(spec, 0.05),
          bytes_for(spec, lead),
          bytes_for(spec, lead + 0.2),
          bytes_for(spec, 1.0 / 15),
          spec.bits / 8 * spec.channels * spec.sample_rate};
}

output_dsound_stream* output_dsound_stream::create(const dsound_stream_spec& spec) {
  auto* stream = new output_dsound_stream(spec);
  try {
    dsound_worker::add(stream);
  } catch (...) {
    delete stream;
    throw;
  }
  return stream;
}

output_dsound_stream::output_dsound_stream(const dsound_stream_spec& spec)
    : spec_(spec), sizes_(dsound_stream_sizes::of(spec)) {
  ring_.set_size(static_cast<std::uint32_t>(std::max(sizes_.ring, 0)));
}

output_dsound_stream::~output_dsound_stream() {
  if (buffer_) buffer_->Stop();
}

HRESULT output_dsound_stream::get_error() {
  critical_section_lock hold(dsound_worker::lock());
  return error_ ? error_code_ : S_OK;
}

bool output_dsound_stream::write(const void* bytes, std::uint32_t count) {
  critical_section_lock hold(dsound_worker::lock());
  if (error_ || count > ring_free()) return false;
  const auto* source = static_cast<const std::uint8_t*>(bytes);
  const std::uint32_t size = ring_.get_count();
  while (count > 0) {
    std::uint32_t piece = std::min(count, size - ring_write_);
    std::uint8_t* target = ring_.data() + ring_write_;
    if (integer_fallback_) {
      // The device took no floats: 32-bit integers of the same samples. The
      // ring holds whole frames of 4-byte samples, so no sample straddles its end.
      for (std::uint32_t done = 0; done < piece;) {
        float staging[256];
        const std::uint32_t n = std::min<std::uint32_t>(piece - done, sizeof(staging));
        std::memcpy(staging, source + done, n);
        convert_float_to_s32(staging, reinterpret_cast<std::int32_t*>(target + done), n / 4, 1.0f);
        done += n;
      }
    } else {
      std::memcpy(target, source, piece);
    }
    source += piece;
    count -= piece;
    ring_write_ = (ring_write_ + piece) % size;
    ring_fill_ += piece;
  }
  prebuffer_from_ring();
  return true;
}

bool output_dsound_stream::is_playing() {
  critical_section_lock hold(dsound_worker::lock());
  return buffer_ && !prebuffering_;
}

std::int32_t output_dsound_stream::buffered_bytes() const noexcept {
  return std::max<std::int32_t>(0, static_cast<std::int32_t>(ring_fill_) + (buffer_ ? queued_ahead_ : 0));
}

std::int32_t output_dsound_stream::get_buffered_bytes() {
  critical_section_lock hold(dsound_worker::lock());
  return buffered_bytes();
}

double output_dsound_stream::get_latency() {
  critical_section_lock hold(dsound_worker::lock());
  return sizes_.bytes_per_second ? static_cast<double>(buffered_bytes()) / sizes_.bytes_per_second : 0.0;
}

std::uint32_t output_dsound_stream::get_writable_bytes() {
  critical_section_lock hold(dsound_worker::lock());
  if (error_) return 0;
  const std::int32_t room = std::max<std::int32_t>(0, sizes_.target_fill - buffered_bytes());
  return std::min(static_cast<std::uint32_t>(room), ring_free());
}

void output_dsound_stream::force_start() {
  critical_section_lock hold(dsound_worker::lock());
  start_request_ = true;
}

void output_dsound_stream::set_pause_request(bool pause) {
  critical_section_lock hold(dsound_worker::lock());
  if (!error_) pause_request_ = pause;
}

void output_dsound_stream::begin_ramp(double from_gain, double to_gain, double seconds) {
  ramp_active_ = true;
  ramp_from_ = from_gain;
  ramp_to_ = to_gain;
  ramp_start_ = played_time_;
  ramp_end_ = played_time_ + seconds;
}

double output_dsound_stream::ramp_progress() const noexcept {
  if (played_time_ < ramp_start_) return 0.0;
  if (played_time_ >= ramp_end_) return 1.0;
  return (played_time_ - ramp_start_) / (ramp_end_ - ramp_start_);
}

void output_dsound_stream::ramp_volume_from(double from_gain, double to_gain, double seconds) {
  critical_section_lock hold(dsound_worker::lock());
  if (error_) return;
  current_gain_ = from_gain;
  begin_ramp(from_gain, to_gain, seconds);
  close_after_ramp_ = pause_after_ramp_ = false;
}

void output_dsound_stream::ramp_volume_to(double to_gain, double seconds) {
  critical_section_lock hold(dsound_worker::lock());
  if (error_) return;
  begin_ramp(current_gain_, to_gain, seconds);
  close_after_ramp_ = pause_after_ramp_ = false;
}

void output_dsound_stream::pause_with_fade(double fade_seconds, double resume_gain, bool pause) {
  critical_section_lock hold(dsound_worker::lock());
  if (error_) return;
  if (pause) {
    if (fading_to_pause()) return;
    const double latency = sizes_.bytes_per_second ? static_cast<double>(buffered_bytes()) / sizes_.bytes_per_second : 0;
    begin_ramp(current_gain_, 0.0, std::min(fade_seconds, latency));
    pause_after_ramp_ = true;
    close_after_ramp_ = false;
    return;
  }
  const bool was_fading = fading_to_pause();
  if (!paused_ && !pause_request_ && !was_fading) return;
  pause_request_ = false;
  // Back from where the fade got to, over the part of it already done.
  const double from = was_fading ? current_gain_ : 0.0;
  const double length = was_fading ? ramp_progress() * fade_seconds : fade_seconds;
  current_gain_ = from;
  begin_ramp(from, resume_gain, length);
  pause_after_ramp_ = close_after_ramp_ = false;
}

void output_dsound_stream::request_close() {
  critical_section_lock hold(dsound_worker::lock());
  closing_ = true;
}

void output_dsound_stream::fade_out_and_close(double seconds) {
  critical_section_lock hold(dsound_worker::lock());
  // With nothing left to hear there is nothing to fade: a ramp to silence
  // would only mute the tail still on its way to the speakers.
  if (error_ || seconds == 0.0 || pause_request_ || buffered_bytes() == 0) {
    closing_ = true;
    return;
  }
  start_request_ = true;
  const double latency = sizes_.bytes_per_second ? static_cast<double>(buffered_bytes()) / sizes_.bytes_per_second : 0;
  begin_ramp(current_gain_, 0.0, std::min(seconds, latency));
  close_after_ramp_ = true;
  pause_after_ramp_ = false;
}

void output_dsound_stream::set_volume(double gain) {
  critical_section_lock hold(dsound_worker::lock());
  if (error_) return;
  if (ramp_active_ && ramp_end_ > played_time_) {
    // A ramp under way keeps its remaining time and heads for the new gain.
    const double remaining = ramp_end_ - played_time_;
    begin_ramp(current_gain_, gain, remaining);
  } else {
    current_gain_ = gain;
  }
}

// The play cursor runs ahead of what the system has actually sent to the
// speakers (about 20 ms under Wine), so a stream whose owner lets go right
// after its last data passed the cursor still has that data to be heard:
// such a stream stays until the cursor is a silence pad past the data.
bool output_dsound_stream::is_playing_out_tail() const noexcept {
  return buffer_ && !error_ && !paused_ && !prebuffering_ && ring_fill_ == 0 &&
         queued_ahead_ < static_cast<std::int32_t>(frame_bytes()) && queued_ahead_ > -sizes_.silence_pad;
}

bool output_dsound_stream::update() {
  if (closing_ && !is_playing_out_tail()) return false;
  if (!error_) {
    try {
      return update_steps();
    } catch (const exception_com& failure) {
      error_ = true;
      error_code_ = static_cast<HRESULT>(failure.code());
    }
  }
  // A stream in error waits for its owner to close it; one whose owner let
  // go with a fade is no longer anyone's, and its ramp will never end.
  return !fading_to_close();
}

bool output_dsound_stream::update_steps() {
  if (!device_) {
    device_ = open_dsound_device(spec_.device);
    number_ = ++devices_opened;
    check_dsound_result(device_->SetCooperativeLevel(cooperation_window(), DSSCL_PRIORITY));
  }
  if (!buffer_) {
    if (spec_.bits == 0 || spec_.channels == 0 || spec_.sample_rate == 0) return true;
    create_buffer();
  }
  DWORD status = 0;
  HRESULT result = buffer_->GetStatus(&status);
  if (result == DSERR_BUFFERLOST) {
    status |= DSBSTATUS_BUFFERLOST;
  } else {
    check_dsound_result(result);
  }
  if (status & DSBSTATUS_BUFFERLOST) {
    check_dsound_result(buffer_->Restore());
    check_dsound_result(buffer_->GetStatus(&status));
  }

  if (!paused_) {
    const DWORD looping = DSBSTATUS_PLAYING | DSBSTATUS_LOOPING;
    if (!prebuffering_ && (status & looping) != looping) check_dsound_result(buffer_->Play(0, 0, DSBPLAY_LOOPING));
    measure_queued_ahead();
    if (!step_ramp()) return false;
  }

  if (current_gain_ != applied_gain_) {
    const double hundredths = current_gain_ > 0 ? 100 * std::max(20 * std::log10(current_gain_), -100.0) : -10000;
    check_dsound_result(buffer_->SetVolume(static_cast<LONG>(hundredths)));
    applied_gain_ = current_gain_;
  }

  if (pause_request_ != paused_) {
    if (!prebuffering_) check_dsound_result(pause_request_ ? buffer_->Stop() : buffer_->Play(0, 0, DSBPLAY_LOOPING));
    paused_ = pause_request_;
  }
  if (paused_ && !prebuffering_ && fading_to_close()) return false;

  if (ring_fill_ == 0 && !paused_ && !prebuffering_ && queued_ahead_ < 1) {
    // Played out, not yet heard out: the cursor walks on through silence
    // (all it has passed is silent) until it is a silence pad beyond.
    if (queued_ahead_ > -sizes_.silence_pad) return true;
    if (closing_ || fading_to_close()) return false;
    reset_after_play_out();
    return true;
  }

  // With the ring empty there is nothing to copy, but a start request still
  // counts: the last audio of a stream may have left the ring before it.
  if (!paused_ && ring_fill_ > 0) move_ring_to_buffer();

  if (start_request_) {
    start();
    start_request_ = false;
  }
  return true;
}

void output_dsound_stream::move_ring_to_buffer() {
  std::int32_t room = queued_ahead_ < 0 ? sizes_.target_fill : sizes_.target_fill - queued_ahead_;
  std::int32_t skip = 0;
  if (!prebuffering_ && queued_ahead_ < sizes_.minimum_lead) {
    // The cursor is about to reach the data: new data goes a little
    // further on, so it is not half-played while being written.
    skip = sizes_.minimum_lead - queued_ahead_;
    room -= skip;
    queued_ahead_ += skip;
  }
  if (room <= 0) return;
  const std::int32_t copied = std::min(static_cast<std::int32_t>(ring_fill_), room);
  const std::int32_t position = write_offset_ + skip;
  if (copied > 0) {
    if (skip > 0 || ran_past_audio_) note_ran_dry();
    ran_past_audio_ = false;
    copy_from_ring(position % sizes_.buffer, copied);
    bytes_laid_ += copied;
    silence_ahead_ = std::max(0, silence_ahead_ - (skip + copied));
    write_offset_ = (position + copied) % sizes_.buffer;
    queued_ahead_ += copied;
  }
  if (silence_ahead_ < sizes_.silence_pad) {
    fill_silence((write_offset_ + silence_ahead_) % sizes_.buffer, sizes_.silence_pad);
    silence_ahead_ += sizes_.silence_pad;
  }
  if (prebuffering_ && write_offset_ >= sizes_.start_threshold) start();
}

// Until the stream starts no cursor moves, so the writer may lay its data
// straight into the buffer: the lead fills as fast as the decoder delivers
// it, rather than a ring's worth per pass of the feeding thread, and the
// first sound comes as soon as the start threshold is reached.
void output_dsound_stream::prebuffer_from_ring() {
  if (!buffer_ || !prebuffering_ || paused_ || pause_request_ || error_ || closing_) return;
  try {
    queued_ahead_ = write_offset_;
    move_ring_to_buffer();
  } catch (const exception_com& failure) {
    error_ = true;
    error_code_ = static_cast<HRESULT>(failure.code());
  }
}

// This audio comes after silence the stream laid itself: the cursor had
// passed, or was about to pass, all the audio the stream had been given.
void output_dsound_stream::note_ran_dry() noexcept {
  dsound_underruns::record({number_, bytes_laid_ / static_cast<std::int32_t>(frame_bytes()), spec_.sample_rate});
}

void output_dsound_stream::measure_queued_ahead() {
  if (prebuffering_) {
    queued_ahead_ = write_offset_;
    return;
  }
  DWORD play = 0, write = 0;
  check_dsound_result(buffer_->GetCurrentPosition(&play, &write));
  // Whether the cursor ran past the audio is told from how far it moved, not
  // from where it stands: a pass that comes late enough finds it too far on
  // for the test below to see that it overtook the audio.
  const std::int32_t travelled = (static_cast<std::int32_t>(play) - played_up_to_ + sizes_.buffer) % sizes_.buffer;
  if (travelled > queued_ahead_) ran_past_audio_ = true;
  silence_played(static_cast<std::int32_t>(play));
  std::int32_t ahead = write_offset_ - static_cast<std::int32_t>(play);
  if (ahead < 0) ahead += sizes_.buffer;
  // Further ahead than ever written: the cursor has overtaken the data.
  if (ahead > sizes_.buffer - (sizes_.buffer - sizes_.target_fill) / 2) ahead -= sizes_.buffer;
  played_time_ += static_cast<double>(queued_ahead_ - ahead) / sizes_.bytes_per_second;
  queued_ahead_ = ahead;
}

// What the cursor has played turns silent at once: the buffer then holds
// nothing but the audio still to come, and a pass of this thread that comes
// late, when the cursor has run past the last data, lets it play silence,
// never audio written one buffer length before.
void output_dsound_stream::silence_played(std::int32_t play_cursor) {
  const std::int32_t played = (play_cursor - played_up_to_ + sizes_.buffer) % sizes_.buffer;
  if (played > 0) fill_silence(played_up_to_, played);
  played_up_to_ = play_cursor;
}

bool output_dsound_stream::step_ramp() {
  if (!ramp_active_) return true;
  if (played_time_ > ramp_end_ || !(ramp_end_ > ramp_start_)) {
    current_gain_ = ramp_to_;
    ramp_active_ = false;
    if (pause_after_ramp_) pause_request_ = true;
    if (close_after_ramp_) return false;
  } else {
    current_gain_ = ramp_from_ + (ramp_to_ - ramp_from_) * ramp_progress();
  }
  return true;
}

void output_dsound_stream::create_buffer() {
  WAVEFORMATEXTENSIBLE format = {};
  format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  format.Format.nChannels = static_cast<WORD>(spec_.channels);
  format.Format.nSamplesPerSec = spec_.sample_rate;
  format.Format.nAvgBytesPerSec = static_cast<DWORD>(bytes_for(spec_, 1.0));
  format.Format.nBlockAlign = static_cast<WORD>(spec_.channels * spec_.bits / 8);
  format.Format.wBitsPerSample = static_cast<WORD>(spec_.bits);
  format.Format.cbSize = 22;
  format.Samples.wValidBitsPerSample = static_cast<WORD>(spec_.bits);
  format.dwChannelMask = spec_.channel_mask & speaker_bits;
  format.SubFormat = spec_.is_float ? subtype_float : subtype_pcm;
  // Plain mono and stereo PCM go as the old format, which every driver takes.
  const bool plain = !spec_.is_float && spec_.bits <= 16 &&
                     ((spec_.channels == 1 && format.dwChannelMask == 0x4) ||
                      (spec_.channels == 2 && format.dwChannelMask == 0x3));
  if (plain) {
    format.Format.wFormatTag = WAVE_FORMAT_PCM;
    format.Format.cbSize = 0;
  }
  DSBUFFERDESC description = {};
  description.dwSize = sizeof(description);
  description.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_STICKYFOCUS | DSBCAPS_CTRLVOLUME;
  description.dwBufferBytes = static_cast<DWORD>(sizes_.buffer);
  description.lpwfxFormat = &format.Format;
  HRESULT result = device_->CreateSoundBuffer(&description, buffer_.receive(), nullptr);
  if (spec_.is_float && (result == E_NOTIMPL || result == E_FAIL || result == DSERR_BADFORMAT)) {
    format.SubFormat = subtype_pcm;
    result = device_->CreateSoundBuffer(&description, buffer_.receive(), nullptr);
    if (SUCCEEDED(result)) integer_fallback_ = true;
  }
  check_dsound_result(result);
  fill_silence(0, sizes_.buffer);
  silence_ahead_ = sizes_.buffer;
  write_offset_ = 0;
  played_up_to_ = 0;
  prebuffering_ = true;
}

void output_dsound_stream::fill_silence(std::int32_t offset, std::int32_t length) {
  void* first = nullptr;
  void* second = nullptr;
  DWORD first_size = 0, second_size = 0;
  check_dsound_result(buffer_->Lock(static_cast<DWORD>(offset), static_cast<DWORD>(length), &first, &first_size,
                                    &second, &second_size, 0));
  const int silence = spec_.bits == 8 ? 0x80 : 0;
  std::memset(first, silence, first_size);
  if (second) std::memset(second, silence, second_size);
  check_dsound_result(buffer_->Unlock(first, first_size, second, second_size));
}

void output_dsound_stream::copy_from_ring(std::int32_t offset, std::int32_t length) {
  void* regions[2] = {};
  DWORD sizes[2] = {};
  check_dsound_result(buffer_->Lock(static_cast<DWORD>(offset), static_cast<DWORD>(length), &regions[0], &sizes[0],
                                    &regions[1], &sizes[1], 0));
  const std::uint32_t ring_size = ring_.get_count();
  for (int r = 0; r < 2; ++r) {
    auto* target = static_cast<std::uint8_t*>(regions[r]);
    std::uint32_t remaining = regions[r] ? sizes[r] : 0;
    while (remaining > 0) {
      const std::uint32_t piece = std::min(remaining, ring_size - ring_read_);
      std::memcpy(target, ring_.data() + ring_read_, piece);
      target += piece;
      remaining -= piece;
      ring_read_ = (ring_read_ + piece) % ring_size;
      ring_fill_ -= piece;
    }
  }
  check_dsound_result(buffer_->Unlock(regions[0], sizes[0], regions[1], sizes[1]));
}

void output_dsound_stream::start() {
  if (!buffer_ || !prebuffering_ || write_offset_ <= 0 || paused_) return;
  prebuffering_ = false;
  check_dsound_result(buffer_->Play(0, 0, DSBPLAY_LOOPING));
}

void output_dsound_stream::reset_after_play_out() {
  check_dsound_result(buffer_->Stop());
  check_dsound_result(buffer_->SetCurrentPosition(0));
  fill_silence(0, sizes_.buffer);
  silence_ahead_ = sizes_.buffer;
  prebuffering_ = true;
  write_offset_ = 0;
  played_up_to_ = 0;
  queued_ahead_ = 0;
  played_time_ = 0.0;
  // The old ramp's times belong to the clock just reset, and the audio it
  // was to run over has all been played: it ends where it was heading, or
  // the next audio would keep a gain caught half-way.
  if (ramp_active_) {
    current_gain_ = ramp_to_;
    if (pause_after_ramp_) pause_request_ = true;
  }
  ramp_active_ = false;
  ramp_start_ = ramp_end_ = 0.0;
  ring_read_ = ring_write_ = ring_fill_ = 0;
}

bool dsound_worker_access::update(output_dsound_stream& stream) { return stream.update(); }
void dsound_worker_access::destroy(output_dsound_stream* stream) noexcept { delete stream; }
