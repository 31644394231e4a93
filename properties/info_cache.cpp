#include "properties/info_cache.h"

#include "core/service_factory.h"

service_ptr<info_cache> info_cache::create(const info_cache* source) {
  service_ptr<info_cache> cache(new service_counted<info_cache>());
  if (source != nullptr) {
    critical_section_lock hold(source->lock_);
    // Entries are never changed once stored, only replaced: sharing them is
    // as good as a copy.
    cache->entries_ = source->entries_;
  }
  return cache;
}

void info_cache::on_info(const track_handle_ptr& handle, const track_info& info, const vantrel_io::file_stats& stats) {
  auto stored = std::make_shared<entry>();
  stored->info.copy_from(info);
  stored->stats = stats;
  critical_section_lock hold(lock_);
  entries_[handle.get()] = {handle, std::move(stored)};
}

const info_cache::entry* info_cache::find(const track_handle* handle) const {
  critical_section_lock hold(lock_);
  const auto found = entries_.find(handle);
  return found == entries_.end() ? nullptr : found->second.second.get();
}

bool info_cache::get_info(const track_handle* handle, track_info& out) const {
  const entry* found = find(handle);
  if (found == nullptr) return false;
  out.copy_all_from(found->info);
  return true;
}

bool info_cache::get_stats(const track_handle* handle, vantrel_io::file_stats& out) const {
  const entry* found = find(handle);
  if (found == nullptr) return false;
  out = found->stats;
  return true;
}
