#include "metadata/field_name_index.h"

#include <cstring>
#include <new>

#include "foundation/work_steps.h"

namespace {

char fold_ascii(char c) noexcept { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// FNV-1a over the folded bytes, so that names matching without regard to
// case hash alike.
std::uint32_t folded_hash(const char* name, std::size_t length) noexcept {
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < length; ++i) hash = (hash ^ std::uint8_t(fold_ascii(name[i]))) * 16777619u;
  return hash;
}

} // namespace

bool field_names_match(const std::string& stored, const char* name, std::size_t length) noexcept {
  const std::size_t n = strnlen(name, length);
  if (stored.size() != n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (fold_ascii(stored[i]) != fold_ascii(name[i])) return false;
  }
  return true;
}

void field_name_index::clear() noexcept {
  std::vector<slot>().swap(slots_);
  used_ = 0;
}

void field_name_index::rebuild(const names& record, std::uint32_t count) noexcept {
  clear();
  try {
    std::size_t size = 16;
    while (size < 2 * std::size_t(count)) size *= 2;
    slots_.assign(size, slot{0, not_found});
    for (std::uint32_t i = 0; i < count; ++i) insert(record, i);
  } catch (const std::bad_alloc&) {
    clear();
  }
}

void field_name_index::add(const names& record, std::uint32_t position) noexcept {
  if (2 * (std::size_t(used_) + 1) > slots_.size()) return rebuild(record, position + 1);
  insert(record, position);
}

std::uint32_t field_name_index::find(const names& record, const char* name, std::size_t length) const noexcept {
  if (slots_.empty()) return not_found;
  length = strnlen(name, length);
  return slots_[probe(record, name, length, folded_hash(name, length))].position;
}

void field_name_index::swap(field_name_index& other) noexcept {
  slots_.swap(other.slots_);
  std::swap(used_, other.used_);
}

std::size_t field_name_index::probe(const names& record, const char* name, std::size_t length,
                                    std::uint32_t hash) const noexcept {
  const std::size_t mask = slots_.size() - 1;
  std::size_t at = hash & mask;
  std::size_t steps = 1;
  for (; slots_[at].position != not_found; at = (at + 1) & mask, ++steps) {
    if (slots_[at].hash == hash && field_names_match(record.name_at(slots_[at].position), name, length)) break;
  }
  qiv::count_work_steps(steps);
  return at;
}

void field_name_index::insert(const names& record, std::uint32_t position) noexcept {
  const std::string& name = record.name_at(position);
  const std::uint32_t hash = folded_hash(name.data(), name.size());
  slot& free_or_same = slots_[probe(record, name.data(), name.size(), hash)];
  if (free_or_same.position != not_found) return;  // the earlier field keeps the name
  free_or_same = slot{hash, position};
  ++used_;
}
