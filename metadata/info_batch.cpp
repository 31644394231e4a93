#include "metadata/info_batch.h"

#include <windows.h>

#include <utility>

#include "metadata/track_handle_registry.h"
#include "metadata/track_info_listener.h"

namespace {

std::uint64_t system_time_now() noexcept {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

} // namespace

void info_batch::add(const track_handle_ptr& handle, const track_display_info& record, const file_stats& stats,
                     bool stamp) {
  add_read(handle, record, stats.file_time, stamp ? system_time_now() : 0);
}

void info_batch::add_read(const track_handle_ptr& handle, const track_display_info& record, std::uint64_t file_time,
                          std::uint64_t read_time) {
  if (!handle) return;
  auto found = entries_.find(handle.get());
  if (found != entries_.end()) {
    if (read_time < found->second.read_time) return;
    found->second.record = record;
    found->second.file_time = file_time;
    found->second.read_time = read_time;
    return;
  }
  entries_.emplace(handle.get(), entry{handle, record, file_time, read_time});
}

void info_batch::read_all_subsongs(const char* path, info_batch_input& input, const abort_signal& abort) {
  const file_stats stats = input.get_stats(abort);
  const std::uint32_t count = input.subsong_count();
  bool whole_file_read = false;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t subsong = input.subsong_at(i);
    track_display_info record;
    input.read_info(subsong, record, abort);
    add(track_handle_registry::get_handle(track_location(path, subsong)), record, stats, true);
    if (subsong == 0) whole_file_read = true;
  }
  if (!whole_file_read) {
    track_display_info record;
    input.read_info(0, record, abort);
    add(track_handle_registry::get_handle(track_location(path, 0)), record, stats, true);
  }
}

void info_batch::commit(const service_registry_table& table) {
  track_handle_list stored;
  // Emptied first, so that a failure while storing leaves no half-committed
  // batch to be committed again.
  std::map<const track_handle*, entry> pending = std::move(entries_);
  entries_.clear();
  for (auto& [key, item] : pending) {
    if (item.handle->set_info(item.record, item.file_time, item.read_time, false)) stored.push_back(item.handle);
  }
  track_info_publish(stored, 0, table);
}
