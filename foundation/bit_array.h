// A fixed run of bits, used as a selection mask over arrays and lists.
// Bit i is bit (i mod 8), counted from the least significant, of byte i / 8.
#pragma once

#include <cstdint>
#include <memory>

namespace qiv {

class bit_array {
public:
  // Every bit starts clear; (bits + 7) / 8 bytes.
  explicit bit_array(std::uint32_t bits);
  bit_array(const bit_array&) = delete;
  bit_array& operator=(const bit_array&) = delete;
  virtual ~bit_array() = default;

  // Indexes at or beyond the bit count read as clear and ignore writes, so a
  // mask shorter than the list it selects from simply selects nothing there.
  virtual bool get(std::uint32_t index) const;

  // Scans |count| positions from start, forwards for a positive count and
  // backwards (start, start - 1, ...) for a negative one, and answers the first
  // index whose bit equals value, or start + count when none does. A backward
  // scan does not go below index 0.
  virtual std::uint32_t find(bool value, std::uint32_t start, std::int32_t count) const;

  virtual void set(std::uint32_t index, bool value);

  std::uint32_t bit_count() const noexcept { return bits_; }
  std::uint32_t byte_count() const noexcept { return bytes_; }
  const std::uint8_t* data() const noexcept { return storage_.get(); }

private:
  std::unique_ptr<std::uint8_t[]> storage_;
  std::uint32_t bytes_;
  std::uint32_t bits_;
};

} // namespace qiv
