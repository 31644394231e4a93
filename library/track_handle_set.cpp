#include "library/track_handle_set.h"

#include <bit>
#include <utility>

track_handle_set::track_handle_set(track_handle_set&& other) noexcept
    : slots_(std::move(other.slots_)),
      count_(std::exchange(other.count_, 0)),
      home_shift_(std::exchange(other.home_shift_, 32)) {
  other.slots_.clear();
}

track_handle_set& track_handle_set::operator=(track_handle_set&& other) noexcept {
  if (this != &other) {
    clear();
    slots_ = std::move(other.slots_);
    count_ = std::exchange(other.count_, 0);
    home_shift_ = std::exchange(other.home_shift_, 32);
    other.slots_.clear();
  }
  return *this;
}

std::size_t track_handle_set::home_of(const track_handle* handle) const noexcept {
  // Handles are heap blocks: the low bits say nothing. The product's top bits
  // mix all the others, which a table this full needs to keep its runs short.
  const auto bits = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle) >> 3);
  return static_cast<std::size_t>((bits * 0x9E3779B1u) >> home_shift_);
}

std::size_t track_handle_set::slot_of(const track_handle* handle) const noexcept {
  const std::size_t mask = slots_.size() - 1;
  std::size_t at = home_of(handle);
  while (slots_[at] != nullptr && slots_[at] != handle) at = (at + 1) & mask;
  return at;
}

bool track_handle_set::insert(const track_handle_ptr& handle) {
  // At most four fifths full: a library of 100,000 tracks pays about five
  // bytes a track here, and a search meets a free slot within a dozen slots or
  // so on average.
  if ((count_ + 1) * 5 > slots_.size() * 4) grow();
  const std::size_t at = slot_of(handle.get());
  if (slots_[at] != nullptr) return false;
  handle->add_ref();
  slots_[at] = handle.get();
  ++count_;
  return true;
}

bool track_handle_set::contains(const track_handle* handle) const noexcept {
  return count_ != 0 && slots_[slot_of(handle)] != nullptr;
}

bool track_handle_set::erase(const track_handle* handle) {
  if (count_ == 0) return false;
  std::size_t hole = slot_of(handle);
  track_handle* const found = slots_[hole];
  if (found == nullptr) return false;
  // Later members of the run move back into the hole unless their own home
  // lies after it, so every search still meets its handle before a free slot.
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = (hole + 1) & mask; slots_[at] != nullptr; at = (at + 1) & mask) {
    const std::size_t home = home_of(slots_[at]);
    const bool stays = hole <= at ? (hole < home && home <= at) : (hole < home || home <= at);
    if (stays) continue;
    slots_[hole] = slots_[at];
    hole = at;
  }
  slots_[hole] = nullptr;
  --count_;
  found->release();
  return true;
}

void track_handle_set::clear() noexcept {
  std::vector<track_handle*> slots = std::move(slots_);
  slots_.clear();
  count_ = 0;
  for (track_handle* handle : slots)
    if (handle != nullptr) handle->release();
}

void track_handle_set::append_to(track_handle_list& out) const {
  out.reserve(out.size() + count_);
  for (track_handle* handle : slots_)
    if (handle != nullptr) out.emplace_back(handle);
}

void track_handle_set::grow() {
  std::vector<track_handle*> old(slots_.empty() ? 16 : slots_.size() * 2, nullptr);
  old.swap(slots_);
  home_shift_ = 32 - static_cast<unsigned>(std::countr_zero(slots_.size()));
  for (track_handle* handle : old)
    if (handle != nullptr) slots_[slot_of(handle)] = handle;
}
