#include "foundation/text_numbering.h"

namespace qiv {

namespace {

std::uint32_t hash_of(std::string_view text) {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return hash;
}

}  // namespace

std::pair<std::uint32_t, bool> text_numbering::add(std::string_view text) {
  // At most half full, so that a probe ends soon.
  if ((ends_.size() + 1) * 2 > slots_.size()) grow();
  const std::uint32_t hash = hash_of(text);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const std::uint32_t held = slots_[slot];
    if (held == 0) {
      const auto number = static_cast<std::uint32_t>(ends_.size());
      buffer_.append(text);
      ends_.push_back(static_cast<std::uint32_t>(buffer_.size()));
      hashes_.push_back(hash);
      slots_[slot] = number + 1;
      return {number, true};
    }
    if (hashes_[held - 1] == hash && this->text(held - 1) == text) return {held - 1, false};
  }
}

void text_numbering::grow() {
  slots_.assign(slots_.empty() ? 64 : slots_.size() * 2, 0);
  const std::size_t mask = slots_.size() - 1;
  for (std::uint32_t number = 0; number < ends_.size(); ++number) {
    std::size_t slot = hashes_[number] & mask;
    while (slots_[slot] != 0) slot = (slot + 1) & mask;
    slots_[slot] = number + 1;
  }
}

void text_numbering::clear() {
  buffer_.clear();
  ends_.clear();
  hashes_.clear();
  slots_.clear();
}

}  // namespace qiv
