#include "playback/failure_streak.h"

void failure_streak::reset() noexcept {
  last_id_ = -1;
  failures_ = 0;
  counted_list_.reset();
  count_cursor_.reset();
  counted_ = 0;
  count_complete_ = false;
}

bool failure_streak::item_done(const service_ptr<playback_item_list>& source, std::int32_t id, bool failed) {
  if (id == last_id_) return false;
  last_id_ = id;
  if (!failed) {
    failures_ = 0;
    return false;
  }
  ++failures_;
  return failures_cover(source);
}

bool failure_streak::failures_cover(const service_ptr<playback_item_list>& source) {
  if (source.get() != counted_list_.get()) {
    counted_list_ = source;
    count_cursor_ = source ? source->first() : service_ptr<playback_item>();
    counted_ = count_cursor_ ? 1 : 0;
    count_complete_ = !count_cursor_;
  }
  while (!count_complete_ && counted_ <= failures_) {
    service_ptr<playback_item> next = count_cursor_->next();
    if (!next) {
      count_complete_ = true;
      count_cursor_.reset();
      break;
    }
    count_cursor_ = std::move(next);
    ++counted_;
  }
  return count_complete_ && failures_ >= counted_;
}
