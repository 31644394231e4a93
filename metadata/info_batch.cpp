#include "metadata/info_batch.h"

#include <windows.h>

#include <utility>

#include "foundation/system_time.h"
#include "metadata/decoder_service.h"
#include "metadata/track_handle_registry.h"
#include "metadata/track_info.h"
#include "metadata/track_info_listener.h"

void info_batch::add(const track_handle_ptr& handle, const track_info& info, const vantrel_io::file_stats& stats,
                     bool stamp) {
  if (!handle) return;
  if (hook_) hook_->on_info(handle, info, stats);
  track_display_info record;
  record.fill_from(info);
  add_read(handle, std::move(record), stats.timestamp, stamp ? qiv::system_time_now() : 0);
}

void info_batch::add_read(const track_handle_ptr& handle, track_display_info&& record, std::uint64_t file_time,
                          std::uint64_t read_time) {
  if (!handle) return;
  auto found = entries_.find(handle.get());
  if (found != entries_.end()) {
    if (read_time < found->second.read_time) return;
    found->second.record = std::move(record);
    found->second.file_time = file_time;
    found->second.read_time = read_time;
    return;
  }
  entries_.emplace(handle.get(), entry{handle, std::move(record), file_time, read_time});
}

void info_batch::read_subsong_infos(const char* path, info_reader& reader, subsong_infos& out,
                                    const abort_signal& abort) {
  const std::uint32_t count = reader.get_subsong_count();
  bool whole_file_read = false;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t subsong = reader.get_subsong(i);
    out.emplace_back(track_handle_registry::get_handle(track_location(path, subsong)), track_info_impl());
    reader.get_info(subsong, out.back().second, abort);
    if (subsong == 0) whole_file_read = true;
  }
  if (!whole_file_read) {
    out.emplace_back(track_handle_registry::get_handle(track_location(path, 0)), track_info_impl());
    reader.get_info(0, out.back().second, abort);
  }
}

void info_batch::add_subsongs(const subsong_infos& infos, const vantrel_io::file_stats& stats) {
  for (const auto& [handle, info] : infos) add(handle, info, stats, true);
}

void info_batch::read_all_subsongs(const char* path, info_reader& reader, const abort_signal& abort) {
  const vantrel_io::file_stats stats = reader.get_file_stats(abort);
  subsong_infos infos;
  read_subsong_infos(path, reader, infos, abort);
  add_subsongs(infos, stats);
}

void info_batch::move_into(info_batch& target) {
  std::map<const track_handle*, entry> pending = std::move(entries_);
  entries_.clear();
  for (auto& [key, item] : pending) target.add_read(item.handle, std::move(item.record), item.file_time, item.read_time);
}

void info_batch::commit(const service_registry_table& table) {
  track_handle_list stored;
  // Emptied first, so that a failure while storing leaves no half-committed
  // batch to be committed again.
  std::map<const track_handle*, entry> pending = std::move(entries_);
  entries_.clear();
  // Reserved first, so that the storing itself takes no memory and cannot
  // stop halfway.
  stored.reserve(pending.size());
  for (auto& [key, item] : pending) {
    if (item.handle->set_info(std::move(item.record), item.file_time, item.read_time, false))
      stored.push_back(item.handle);
    // Freed as it goes: the handle's old texts and the batch's are never all
    // held at once.
    item.record = track_display_info();
  }
  track_info_publish(stored, 0, table);
}
