#include "playback/decoders/mpeg_seek_table_cache.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace mpeg_seek_table_cache {

namespace {

constexpr std::size_t slot_count = 10;
constexpr std::uint64_t min_point_distance = 32;

struct cache_entry {
  std::uint32_t id = 0;
  std::uint32_t last_use = 0;
  std::string path;
  std::uint64_t file_timestamp = 0;
  std::vector<point> points;  // sorted by frame, unique
};

struct cache_state {
  std::mutex lock;
  std::shared_ptr<cache_entry> slots[slot_count];
  std::uint32_t id_counter = 0;
  std::uint32_t use_counter = 0;

  cache_entry* find(std::uint32_t id) {
    for (auto& slot : slots)
      if (slot && slot->id == id) return slot.get();
    return nullptr;
  }
};

cache_state& seek_table_cache_state() {
  static cache_state instance;
  return instance;
}

std::vector<point>::iterator lower_bound_frame(std::vector<point>& points, std::uint64_t frame) {
  return std::lower_bound(points.begin(), points.end(), frame,
                          [](const point& p, std::uint64_t f) { return p.frame < f; });
}

}  // namespace

std::uint32_t find_or_create(const std::string& path, std::uint64_t file_timestamp) {
  cache_state& cache = seek_table_cache_state();
  std::lock_guard guard(cache.lock);
  for (auto& slot : cache.slots)
    if (slot && slot->path == path && slot->file_timestamp == file_timestamp) {
      slot->last_use = ++cache.use_counter;
      return slot->id;
    }
  std::shared_ptr<cache_entry>* target = nullptr;
  for (auto& slot : cache.slots)
    if (!slot) {
      target = &slot;
      break;
    }
  if (!target) {
    target = &cache.slots[0];
    for (auto& slot : cache.slots)
      if (slot->last_use < (*target)->last_use) target = &slot;
  }
  auto made = std::make_shared<cache_entry>();
  made->id = ++cache.id_counter;
  made->last_use = ++cache.use_counter;
  made->path = path;
  made->file_timestamp = file_timestamp;
  *target = std::move(made);
  return (*target)->id;
}

void store(std::uint32_t id, std::uint64_t offset, std::uint64_t frame) {
  cache_state& cache = seek_table_cache_state();
  std::lock_guard guard(cache.lock);
  cache_entry* table = cache.find(id);
  if (!table) return;
  table->last_use = ++cache.use_counter;
  auto& points = table->points;
  const auto at = lower_bound_frame(points, frame);
  if (at != points.end() && at->frame == frame) return;
  if (at != points.begin() && frame < std::prev(at)->frame + min_point_distance) return;
  if (at != points.end() && at->frame < frame + min_point_distance) return;
  points.insert(at, point{offset, frame});
}

bool lookup(std::uint32_t id, std::uint64_t frame, point& out) {
  cache_state& cache = seek_table_cache_state();
  std::lock_guard guard(cache.lock);
  cache_entry* table = cache.find(id);
  if (!table) return false;
  table->last_use = ++cache.use_counter;
  auto& points = table->points;
  auto at = lower_bound_frame(points, frame);
  if (at == points.end() || at->frame != frame) {
    if (at == points.begin()) return false;
    --at;
  }
  out = *at;
  return true;
}

}  // namespace mpeg_seek_table_cache
