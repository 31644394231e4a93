// Read-only bit masks for selection changes: every index the same value, or
// one index set. They answer for any index without storing a bit per item,
// so selecting all of 100,000 items allocates nothing.
#pragma once

#include <cstdint>

#include "foundation/bit_array.h"

class constant_mask final : public qiv::bit_array {
public:
  explicit constant_mask(bool value) : qiv::bit_array(0), value_(value) {}
  bool get(std::uint32_t) const override { return value_; }
  std::uint32_t find(bool value, std::uint32_t start, std::int32_t count) const override {
    return value == value_ || count == 0 ? start : start + count;
  }
  void set(std::uint32_t, bool) override {}

private:
  bool value_;
};

class single_bit_mask final : public qiv::bit_array {
public:
  explicit single_bit_mask(std::uint32_t index) : qiv::bit_array(0), index_(index) {}
  bool get(std::uint32_t index) const override { return index == index_; }
  // Constant time: a selection change over a long list asks this once per
  // changed item.
  std::uint32_t find(bool value, std::uint32_t start, std::int32_t count) const override {
    const std::uint32_t none = start + count;
    if (count == 0) return none;
    if (count > 0) {
      const std::uint32_t end = start + count;
      if (value) return index_ >= start && index_ < end ? index_ : none;
      if (start != index_) return start;
      return start + 1 < end ? start + 1 : none;
    }
    const std::uint32_t reach = static_cast<std::uint32_t>(-static_cast<std::int64_t>(count));
    const std::uint32_t lowest = reach > start ? 0 : start - reach + 1;
    if (value) return index_ <= start && index_ >= lowest ? index_ : none;
    if (start != index_) return start;
    return start > lowest ? start - 1 : none;
  }
  void set(std::uint32_t, bool) override {}

private:
  std::uint32_t index_;
};
