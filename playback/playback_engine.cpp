#include "playback/playback_engine.h"

#include "core/service_factory.h"
#include "foundation/win32_error.h"
#include "playback/playback_engine_impl.h"

using engine_detail::queue_item;

engine_impl::engine_impl() {
  wake_event_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!wake_event_.get()) throw exception_win32(GetLastError());
}

engine_impl::~engine_impl() { stop(); }

bool engine_impl::is_active() {
  critical_section_lock lock(state_lock_);
  return thread_.get() != nullptr || suspended_;
}

bool engine_impl::has_ended() {
  critical_section_lock lock(state_lock_);
  return ended_;
}

void engine_impl::start(bool paused) {
  stop();
  {
    critical_section_lock lock(pause_lock_);
    pause_request_ = paused;
    pause_changed_ = true;
  }
  {
    critical_section_lock lock(state_lock_);
    end_of_input_ = false;
    position_.valid = false;
    input_wanted_ = true;
    ended_ = false;
    seek_request_ = false;
  }
  start_thread();
}

void engine_impl::stop() {
  stop_thread();
  critical_section_lock lock(state_lock_);
  suspended_ = false;
  queue_.clear();
  next_id_ = 0;
}

void engine_impl::start_thread() {
  suspended_ = false;
  abort_.reset();
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, &engine_impl::thread_entry, this, 0, &id);
  if (thread == nullptr) throw exception_win32(GetLastError());
  thread_.reset(thread);
}

void engine_impl::stop_thread() {
  if (thread_.get() == nullptr) return;
  abort_.raise();
  WaitForSingleObject(thread_.get(), INFINITE);
  thread_.reset();
}

void engine_impl::set_pause_request(bool paused) {
  critical_section_lock lock(pause_lock_);
  pause_request_ = paused;
  pause_changed_ = true;
}

bool engine_impl::is_paused() {
  if (suspended_) return true;
  critical_section_lock lock(pause_lock_);
  return pause_request_;
}

bool engine_impl::wants_input() {
  critical_section_lock lock(state_lock_);
  return input_wanted_ && !end_of_input_;
}

std::int32_t engine_impl::enqueue(const engine_track& item) {
  if (!item.track) return -1;
  std::int32_t id;
  {
    critical_section_lock lock(state_lock_);
    auto record = std::make_shared<queue_item>();
    record->item = item;
    record->id = id = next_id_++;
    queue_.push_back(std::move(record));
    input_wanted_ = false;
  }
  SetEvent(wake_event_.get());
  return id;
}

void engine_impl::end_of_input() {
  {
    critical_section_lock lock(state_lock_);
    end_of_input_ = true;
  }
  SetEvent(wake_event_.get());
}

engine_impl::queue_item_ptr engine_impl::find_item(std::int32_t id) const {
  for (auto it = queue_.rbegin(); it != queue_.rend(); ++it)
    if ((*it)->id == id) return *it;
  return {};
}

engine_impl::queue_item_ptr engine_impl::heard_item(double position) const {
  for (auto it = queue_.rbegin(); it != queue_.rend(); ++it)
    if ((*it)->has_start && (*it)->start <= position) return *it;
  return {};
}

std::int32_t engine_impl::current_id() {
  critical_section_lock lock(state_lock_);
  if (seek_request_) return seek_id_;
  const queue_item_ptr item = heard_item(position_.estimate());
  return item ? item->id : -1;
}

bool engine_impl::get_current_track(engine_track& out) {
  critical_section_lock lock(state_lock_);
  const queue_item_ptr item = heard_item(position_.estimate());
  if (!item) return false;
  out = item->item;
  return true;
}

bool engine_impl::get_item_track(std::int32_t id, engine_track& out) {
  critical_section_lock lock(state_lock_);
  const queue_item_ptr item = find_item(id);
  if (!item) return false;
  out = item->item;
  return true;
}

bool engine_impl::get_item_failed(std::int32_t id) {
  critical_section_lock lock(state_lock_);
  const queue_item_ptr item = find_item(id);
  return item && item->failed;
}

bool engine_impl::get_item_can_seek(std::int32_t id, bool& out) {
  critical_section_lock lock(state_lock_);
  const queue_item_ptr item = find_item(id);
  if (!item || !item->info_ready) return false;
  out = item->can_seek;
  return true;
}

void engine_impl::drop_items_before(std::int32_t id) {
  critical_section_lock lock(state_lock_);
  while (!queue_.empty() && queue_.front()->id != id) queue_.pop_front();
}

bool engine_impl::seek(std::int32_t id, double seconds) {
  critical_section_lock lock(state_lock_);
  const queue_item_ptr item = find_item(id);
  if (!item) return false;
  if (item->info_ready && !item->can_seek) return false;
  // An item followed by a started one has a known length: seek no further.
  for (std::size_t i = 0; i + 1 < queue_.size(); ++i) {
    if (queue_[i] != item) continue;
    if (item->has_start && queue_[i + 1]->has_start) {
      const double length = queue_[i + 1]->start - item->start;
      if (length > 0.0 && length < seconds) seconds = length;
    }
    break;
  }
  seek_id_ = id;
  seek_target_ = seconds;
  seek_request_ = true;
  return true;
}

bool engine_impl::get_position(std::int32_t id, double& out) {
  critical_section_lock lock(state_lock_);
  if (seek_request_ && seek_id_ == id) {
    out = seek_target_;
    return true;
  }
  const queue_item_ptr item = find_item(id);
  if (!item || !item->has_start) return false;
  out = position_.estimate() - item->start;
  return true;
}

void engine_impl::set_replaygain(const playback_gain_settings& settings) {
  critical_section_lock lock(replaygain_lock_);
  replaygain_settings_ = settings;
}

void engine_impl::set_volume(double decibels) {
  critical_section_lock state(state_lock_);
  critical_section_lock lock(volume_lock_);
  volume_ = decibels;
  volume_changed_ = true;
}

void engine_impl::set_dsp_chain(const dsp_chain& chain) {
  critical_section_lock lock(dsp_lock_);
  dsp_settings_.remove_all();
  for (std::uint32_t i = 0; i < chain.get_count(); ++i) dsp_settings_.add_item(chain.get_item(i));
  dsp_changed_ = true;
}

void engine_impl::restart_output() {
  pause();
  resume();
}

// The thread goes; the queue stays with a seek to the point reached, so a
// resume reopens the item there (from its start when it cannot seek).
void engine_impl::pause() {
  if (thread_.get() == nullptr) return;
  std::int32_t id;
  double resume_point = 0.0;
  {
    critical_section_lock lock(state_lock_);
    id = current_id();
    bool can_seek = false;
    if (get_item_can_seek(id, can_seek) && can_seek && !get_position(id, resume_point)) resume_point = 0.0;
    if (resume_point < 0.0) resume_point = 0.0;
  }
  stop_thread();
  {
    critical_section_lock lock(state_lock_);
    end_of_input_ = false;
    position_.valid = false;
    ended_ = false;
  }
  seek(id, resume_point);
  suspended_ = true;
}

// A run started paused keeps its thread with the output paused; resuming it
// must lift that request too, or Play after a paused start would do nothing.
void engine_impl::resume() {
  {
    critical_section_lock lock(pause_lock_);
    if (pause_request_) {
      pause_request_ = false;
      pause_changed_ = true;
    }
  }
  if (suspended_) start_thread();
}

namespace {
service_factory_t<engine_impl> engine_registration;
}

service_ptr<playback_engine> playback_engine_create() { return new service_counted<engine_impl>(); }
