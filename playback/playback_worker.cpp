// The playback thread: opens the queued items one after another, decodes
// them, scales them by ReplayGain, runs the DSP chain and writes the blocks
// to the output. The next item opens as soon as the current one runs dry, on
// the same output and time line, so items follow without a gap. Fades are
// the output device's: it fades when it is flushed, paused or released.
#include <objbase.h>

#include "foundation/exceptions.h"
#include "foundation/win32_error.h"
#include "io/io_exceptions.h"
#include "metadata/track_info.h"
#include "playback/output/output_exceptions.h"
#include "playback/output/output_module.h"
#include "playback/playback_engine_impl.h"
#include "playback/replaygain_scale.h"

using engine_detail::queue_item_ptr;
using engine_detail::reopen_request;

namespace {

// What the playback thread asks of the decoders it opens.
constexpr std::uint32_t playback_open_flags = 4;
constexpr double status_interval = 0.05;
constexpr double idle_interval = 0.1;
constexpr DWORD longest_wait_ms = 25;

class message_exception : public std::exception {
public:
  explicit message_exception(const char* text) : text_(text) {}
  const char* what() const noexcept override { return text_; }

private:
  const char* text_;
};

}  // namespace

DWORD WINAPI engine_impl::thread_entry(void* engine) {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  const bool com = SUCCEEDED(CoInitialize(nullptr));
  if (com) {
    static_cast<engine_impl*>(engine)->thread_body();
  } else {
    // Nothing can play without COM: the run ends, and the front end hears
    // of it as a failure rather than waiting for a thread that does nothing.
    auto* self = static_cast<engine_impl*>(engine);
    {
      critical_section_lock lock(self->state_lock_);
      self->ended_ = true;
    }
    self->callback_->on_fatal_error(message_exception("CoInitialize() failed"));
  }
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  if (com) CoUninitialize();
  return 0;
}

// No exception may leave the thread entry (it would end the process), so
// every one ends here and is reported.
void engine_impl::thread_body() {
  enum class outcome { aborted, device_missing, failure, unknown } result = outcome::unknown;
  std::exception_ptr failure;
  try {
    run_loop();
  } catch (const vantrel_io::exception_aborted&) {
    result = outcome::aborted;
  } catch (const exception_output_device_not_found&) {
    result = outcome::device_missing;
  } catch (const std::exception&) {
    result = outcome::failure;
    failure = std::current_exception();
  } catch (...) {
    result = outcome::unknown;
  }
  try {
    close_decoder();
    close_output_stage();
  } catch (...) {
  }
  {
    critical_section_lock lock(state_lock_);
    ended_ = true;
  }
  switch (result) {
  case outcome::aborted:
    callback_->on_aborted();
    break;
  case outcome::device_missing:
    callback_->on_fatal_error(message_exception("Audio device not found"));
    break;
  case outcome::failure:
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& e) {
      callback_->on_fatal_error(e);
    }
    break;
  case outcome::unknown:
    callback_->on_fatal_error(message_exception("<unknown error>"));
    break;
  }
  SetThreadExecutionState(ES_CONTINUOUS);
}

void engine_impl::run_loop() {
  set_up_loop();
  for (;;) {
    try {
      run_pass();
    } catch (const reopen_request&) {
      reopen_after_error();
    }
  }
}

void engine_impl::set_up_loop() {
  run_timer_.restart();
  {
    critical_section_lock lock(volume_lock_);
    volume_changed_ = true;
  }
  {
    critical_section_lock lock(pause_lock_);
    pause_changed_ = true;
  }
  output_paused_ = false;
  open_output();
  written_ = latency_ = 0.0;
  callback_->on_pause_changed(false);
  {
    critical_section_lock lock(dsp_lock_);
    dsp_changed_ = true;
  }
  buffered_ = decoded_ = 0.0;
  drained_ = false;
  paused_ = false;
  decoder_open_ = false;
  seek_pending_ = false;
  current_.reset();
  last_reported_id_ = -1;
  last_status_ = last_idle_ = 0.0;
}

void engine_impl::run_pass() {
  abort_.check_and_throw();
  apply_requests();
  pass_idle_ = false;
  if (!feed_output()) {
    pass_idle_ = true;
  } else if (decoder_open_ && seek_pending_) {
    seek_pending_ = false;
    if (decoder_.get()->can_seek()) {
      try {
        decoder_.get()->seek(seek_offset_, abort_);
      } catch (const vantrel_io::exception_aborted&) {
        throw;
      } catch (const std::exception& e) {
        report_item_error(engine_item_error::seeking, track_, seek_offset_, e);
      }
      position_in_item_ = seek_offset_;
    }
  } else if (decoder_open_ && paused_) {
    pass_idle_ = true;
  } else if (decoder_open_) {
    decode_step();
  } else {
    bool drain_now;
    {
      critical_section_lock lock(state_lock_);
      drain_now = input_wanted_ && end_of_input_;
    }
    if (drain_now) {
      drain();
      pass_idle_ = true;
    } else {
      take_next_item();
    }
  }
  const double now = run_timer_.elapsed_seconds();
  if (now - last_status_ > status_interval) {
    last_status_ = now;
    status_pass();
  }
  if (pass_idle_ || now - last_idle_ > idle_interval) {
    last_idle_ = now;
    if (idle_step()) wait_for_work();
  }
}

void engine_impl::apply_requests() {
  bool volume_changed;
  double volume;
  {
    critical_section_lock lock(volume_lock_);
    volume_changed = std::exchange(volume_changed_, false);
    volume = volume_;
  }
  if (volume_changed) {
    device_volume_ = volume;
    if (device_) device_->set_volume(volume);
  }
  bool pause_changed;
  bool paused;
  {
    critical_section_lock lock(pause_lock_);
    pause_changed = std::exchange(pause_changed_, false);
    paused = pause_request_;
  }
  if (pause_changed) {
    paused_ = holder_paused_ = paused;
    decoder_set_pause_state(decoder_.get(), paused);
    if (device_) device_->pause(paused);
    output_paused_ = paused;
    callback_->on_pause_changed(paused);
    if (paused) {
      if (service_ptr<decoder_pause_extension> extension = service_query<decoder_pause_extension>(decoder_.get()))
        if (extension->flush_output_on_pause()) flush_output_stage();
    }
    SetThreadExecutionState(paused ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED : ES_CONTINUOUS);
  }
  critical_section_lock lock(state_lock_);
  if (pause_changed) position_.frozen = paused;
  if (seek_request_) {
    take_seek_request();
    seek_request_ = false;
  }
}

// Under the state lock. The time line restarts at the target, so the items
// already placed on it move by the same amount.
void engine_impl::take_seek_request() {
  const queue_item_ptr item = find_item(seek_id_);
  if (!item) return;
  if (!item->has_start && (queue_.empty() || queue_.front() != item)) return;
  if (!item->has_start) {
    item->start = 0.0;
    item->has_start = true;
  }
  const double target = item->start + seek_target_;
  if (target == (position_.valid ? position_.base : 0.0)) return;
  for (const queue_item_ptr& queued : queue_)
    if (queued->has_start) queued->start -= target;
  if (item != current_ || !decoder_open_) {
    queue_item_ptr before;
    for (const queue_item_ptr& queued : queue_) {
      if (queued == item) break;
      before = queued;
    }
    current_ = before;
    decoder_open_ = false;
  }
  seek_offset_ = seek_target_;
  seek_pending_ = true;
  flush_output_stage();
  position_.valid = false;
  input_wanted_ = false;
  ended_ = false;
}

// False when the device wants no more for now.
bool engine_impl::feed_output() {
  for (;;) {
    abort_.check_and_throw();
    bool more = !output_paused_;
    latency_ = 0.0;
    if (device_) {
      device_->update(more);
      const double latency = device_->get_latency();
      latency_ = latency > 0.0 ? latency : 0.0;
    }
    callback_->on_position(written_ - latency_, latency_);
    if (!more) return false;
    if (waiting_.get_count() == 0) return true;
    const audio_block& block = waiting_.get(0);
    if (!block.is_empty()) {
      if (!device_) open_output();
      device_->write(block);
      fresh_ = false;
    }
    callback_->on_block_written(block, written_);
    const double duration = block.duration_seconds();
    latency_ += duration;
    written_ += duration;
    buffered_ -= duration;
    waiting_.remove_at(0);
  }
}

void engine_impl::decode_step() {
  bool got_audio;
  try {
    got_audio = decoder_.get()->run(scratch_, abort_);
    if (got_audio) {
      position_in_item_ += scratch_.duration_seconds();
      if (replaygain_scale_ != 1.0f) {
        float* samples = scratch_.get_data();
        const std::uint32_t count = scratch_.get_sample_count() * scratch_.get_channels();
        for (std::uint32_t i = 0; i < count; ++i) samples[i] *= replaygain_scale_;
      }
    } else if (position_in_item_ == 0.0) {
      throw vantrel_io::exception_io_data();
    }
  } catch (const vantrel_io::exception_aborted&) {
    throw;
  } catch (const std::exception& e) {
    if (position_in_item_ == 0.0) {
      critical_section_lock lock(state_lock_);
      if (current_) current_->failed = true;
    }
    report_item_error(engine_item_error::decoding, track_, position_in_item_, e);
  }
  if (got_audio) {
    process_chunk();
    return;
  }
  qiv::dynamic_assert(waiting_.get_count() == 0);
  run_dsp(dsp_end_of_track);
  decoder_open_ = false;
  // The file is given up at once: a tag writer must not wait for the next
  // item (or for the user to stop after the last one).
  close_decoder();
}

void engine_impl::process_chunk() {
  qiv::dynamic_assert(waiting_.get_count() == 0);
  waiting_.insert_new(0).copy_from(scratch_);
  decoded_ += scratch_.duration_seconds();
  drained_ = false;
  run_dsp(0);
}

double engine_impl::run_dsp(std::uint32_t flags) {
  {
    critical_section_lock lock(dsp_lock_);
    if (dsp_changed_) {
      dsp_changed_ = false;
      dsp_.set_chain(dsp_settings_);
    }
  }
  const double held = dsp_.run(waiting_, track_.get(), flags, abort_);
  buffered_ = held + waiting_.total_duration();
  return held;
}

void engine_impl::take_next_item() {
  track_handle_ptr track;
  queue_item_ptr next;
  {
    critical_section_lock lock(state_lock_);
    if (!current_) {
      if (!queue_.empty()) next = queue_.front();
    } else {
      for (const queue_item_ptr& queued : queue_) {
        if (queued->id > current_->id) {
          next = queued;
          break;
        }
      }
    }
    if (next) {
      current_ = next;
      track = next->item.track;
      next->start = decoded_ - (seek_pending_ ? seek_offset_ : 0.0);
      next->has_start = true;
    } else {
      input_wanted_ = true;
    }
  }
  if (!track) {
    seek_pending_ = false;
    pass_idle_ = true;
    return;
  }
  close_decoder();
  try {
    open_item(track);
  } catch (const vantrel_io::exception_aborted&) {
    throw;
  } catch (const std::exception& e) {
    {
      critical_section_lock lock(state_lock_);
      next->can_seek = false;
      next->info_ready = true;
      next->failed = true;
    }
    report_item_error(engine_item_error::opening, track, 0.0, e);
  }
  critical_section_lock lock(state_lock_);
  next->can_seek = decoder_.get()->can_seek();
  next->info_ready = true;
  decoder_open_ = true;
}

void engine_impl::open_item(const track_handle_ptr& track) {
  track_ = track;
  named_lock::acquire(path_lock_, track->get_location().get_path(), abort_);
  open_item_for_decoding(decoder_, {}, *track, playback_open_flags, abort_);
  position_in_item_ = 0.0;
  compute_replaygain_scale();
  if (holder_paused_) decoder_set_pause_state(decoder_.get(), true);
}

void engine_impl::compute_replaygain_scale() {
  track_info_impl info;
  decoder_.get()->get_info(track_->get_location().get_subsong(), info, abort_);
  playback_gain_settings settings;
  {
    critical_section_lock lock(replaygain_lock_);
    settings = replaygain_settings_;
  }
  replaygain_scale_ = static_cast<float>(replaygain_scale(settings, info.get_replaygain()));
}

void engine_impl::drain() {
  qiv::dynamic_assert(waiting_.get_count() == 0);
  if (!drained_) {
    drained_ = true;
    run_dsp(dsp_flush);
  }
  if (device_ && !fresh_) {
    device_->force_start();
    fresh_ = true;
  }
}

void engine_impl::status_pass() {
  double held = latency_ + buffered_;
  if (held < 0.0) held = 0.0;
  const double heard = engine_detail::heard_time(decoded_, held);
  bool report_end = false;
  bool wanted;
  std::int32_t heard_id;
  {
    critical_section_lock lock(state_lock_);
    if (!decoder_open_ && !ended_ && drained_ && waiting_.get_count() == 0 && latency_ == 0.0) {
      ended_ = true;
      report_end = true;
    }
    const double old_base = position_.valid ? position_.base : 0.0;
    position_.base = heard > old_base ? heard : old_base;
    position_.limit = position_.base > 0.0 ? held : 0.0;
    position_.valid = true;
    position_.timer.restart();
    wanted = input_wanted_ && !end_of_input_;
    const queue_item_ptr item = heard_item(position_.base);
    heard_id = item ? item->id : -1;
  }
  if (heard_id != last_reported_id_) {
    last_reported_id_ = heard_id;
    callback_->on_current_item_changed(heard_id);
  }
  if (report_end) callback_->on_ended();
  if (wanted) callback_->on_state_changed();
}

// Answers whether the thread may wait for work afterwards.
bool engine_impl::idle_step() {
  if (!decoder_open_) return true;
  try {
    if (!path_lock_->has_waiters()) {
      decoder_.get()->on_idle(abort_);
      return true;
    }
    // A tag writer wants the file: give it up, wait for the writer to
    // finish, and carry on where playback was.
    const bool can_seek = decoder_.get()->can_seek();
    const track_handle_ptr track = track_;
    close_decoder();
    decoder_open_ = false;
    if (!can_seek) throw vantrel_io::exception_io_data();
    track_ = track;
    named_lock::acquire(path_lock_, track->get_location().get_path(), abort_);
    open_item_for_decoding(decoder_, {}, *track, playback_open_flags, abort_);
    decoder_.get()->seek(position_in_item_, abort_);
    compute_replaygain_scale();
    if (holder_paused_) decoder_set_pause_state(decoder_.get(), true);
    decoder_open_ = true;
    return false;
  } catch (const vantrel_io::exception_aborted&) {
    throw;
  } catch (const vantrel_io::exception_io_not_found&) {
    // The file went away: on to the next item without a word.
    throw reopen_request();
  } catch (const std::exception& e) {
    report_item_error(engine_item_error::idle_step, track_, position_in_item_, e);
  }
}

void engine_impl::wait_for_work() {
  const HANDLE events[2] = {wake_event_.get(), abort_.get_event()};
  const DWORD begin = GetTickCount();
  for (;;) {
    const DWORD spent = GetTickCount() - begin;
    if (spent >= longest_wait_ms) return;
    const DWORD result = MsgWaitForMultipleObjects(2, events, FALSE, longest_wait_ms - spent, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0 || result == WAIT_TIMEOUT) return;
    if (result == WAIT_OBJECT_0 + 1) throw vantrel_io::exception_aborted();
    if (result == WAIT_OBJECT_0 + 2) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      continue;
    }
    if (result == WAIT_FAILED) throw exception_win32(GetLastError());
    throw qiv::exception_bug_check_v2();
  }
}

void engine_impl::open_output() {
  output_request request;
  request.volume = device_volume_;
  request.paused = output_paused_;
  output_select(request);
  device_ = request.device;
  fresh_ = true;
}

void engine_impl::flush_output_stage() {
  if (device_) {
    device_->flush();
    fresh_ = true;
  }
  callback_->on_output_reset();
  written_ = latency_ = 0.0;
  dsp_.flush(abort_);
  while (waiting_.get_count() != 0) waiting_.remove_at(0);
  buffered_ = decoded_ = 0.0;
}

void engine_impl::close_output_stage() {
  device_.reset();
  written_ = latency_ = 0.0;
  while (waiting_.get_count() != 0) waiting_.remove_at(0);
  dsp_.reset();
  {
    critical_section_lock lock(dsp_lock_);
    dsp_changed_ = true;
  }
  buffered_ = decoded_ = 0.0;
}

void engine_impl::close_decoder() {
  decoder_.release();
  track_.reset();
  path_lock_.reset();
}

void engine_impl::report_item_error(engine_item_error kind, const track_handle_ptr& track, double position,
                                    const std::exception& failure) {
  if (callback_->on_item_error(kind, track, position, failure)) throw reopen_request();
  throw;
}

// A failed item leaves a second of silence, so the next one is not glued to
// the failure point, then playback moves on.
void engine_impl::reopen_after_error() {
  scratch_.set_data(nullptr, 44100, 1, 44100, 0x4);
  run_dsp(dsp_flush);
  waiting_.insert_new(waiting_.get_count()).copy_from(scratch_);
  decoded_ += 1.0;
  drained_ = false;
  buffered_ += 1.0;
  seek_pending_ = false;
  decoder_open_ = false;
  close_decoder();
}
