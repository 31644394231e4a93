#include "metadata/track_handle.h"

#include <cstdint>
#include <new>
#include <utility>

#include "foundation/win32_handles.h"
#include "metadata/track_fields.h"

namespace {

// Never destroyed: handles may still be released by other static destructors
// at exit. Made in static storage, so that its first use, which may come as
// memory runs out, takes none from the heap.
critical_section& info_lock() noexcept {
  alignas(critical_section) static unsigned char storage[sizeof(critical_section)];
  static critical_section* const section = new (storage) critical_section;
  return *section;
}

} // namespace

bool info_is_newer(std::uint64_t new_time, std::uint64_t cached_time, std::uint64_t read_time) noexcept {
  if (new_time == 0) return false;
  if (cached_time == 0) return true;
  if (new_time > cached_time) return true;
  if (new_time == cached_time) return false;
  return read_time != 0 && read_time > cached_time;
}

track_handle::track_handle(const char* path_text, std::uint32_t subsong, std::uint32_t path_crc) noexcept
    : location_(track_location::borrow_text{}, path_text, subsong), path_crc_(path_crc) {}

void track_handle::lock_info() noexcept { info_lock().enter(); }
void track_handle::unlock_info() noexcept { info_lock().leave(); }

bool track_handle::has_info() const noexcept {
  track_info_lock hold;
  return info_valid_;
}

bool track_handle::get_info(track_display_info& out) const {
  track_info_lock hold;
  if (!info_valid_) return false;
  out = info_;
  return true;
}

bool track_handle::get_info_ref(const track_display_info*& out) const noexcept {
  if (!info_valid_) return false;
  out = &info_;
  return true;
}

bool track_handle::set_info(const track_display_info& record, std::uint64_t file_time, std::uint64_t read_time, bool force) {
  track_info_lock hold;
  if (info_valid_ && !force && !info_is_newer(file_time, info_timestamp_, read_time)) return false;
  if (file_time != 0) info_timestamp_ = file_time;
  if (&record != &info_) info_ = record;
  info_valid_ = true;
  return true;
}

bool track_handle::set_info(track_display_info&& record, std::uint64_t file_time, std::uint64_t read_time, bool force) {
  track_info_lock hold;
  if (info_valid_ && !force && !info_is_newer(file_time, info_timestamp_, read_time)) return false;
  if (file_time != 0) info_timestamp_ = file_time;
  if (&record != &info_) info_ = std::move(record);
  info_valid_ = true;
  return true;
}

bool track_handle::load_info_from_stream(std::uint64_t file_time, vantrel_io::reader& source, const abort_signal& abort) {
  bool wanted;
  {
    track_info_lock hold;
    wanted = !info_valid_ || info_is_newer(file_time, info_timestamp_, 0);
  }
  if (!wanted) {
    std::uint32_t head[2];
    source.read_exact(head, sizeof(head), abort);
    source.skip_exact(head[1], abort);
    return false;
  }
  // Read without the lock held: the stream may be slow, and every list view
  // waits on the info lock.
  track_display_info record;
  record.read(source, abort);

  track_info_lock hold;
  // Another thread may have stored fresher info while the record was read.
  if (info_valid_ && !info_is_newer(file_time, info_timestamp_, 0)) return false;
  info_ = std::move(record);
  info_timestamp_ = file_time;
  info_valid_ = true;
  return true;
}

bool track_handle::evaluate_script(field_provider* caller, qiv::string_object& out, const title_script& script,
                                   title_text_filter* filter) const {
  const bool had_info = info_valid_;
  evaluate_script_with_info(info_, caller, out, script, filter);
  return had_info;
}

bool track_handle::evaluate_script_locked(field_provider* caller, qiv::string_object& out, const title_script& script,
                                          title_text_filter* filter) const {
  track_info_lock hold;
  return evaluate_script(caller, out, script, filter);
}

void track_handle::evaluate_script_with_info(const track_display_info& record, field_provider* caller,
                                             qiv::string_object& out, const title_script& script,
                                             title_text_filter* filter) const {
  track_field_provider provider(record, location_, caller);
  script.evaluate(provider, out, filter);
}
