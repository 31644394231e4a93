// A zero-filled byte array that lives inside its owner up to 1,024 bytes and
// takes a heap block only for the bytes beyond, so the common small case of
// scratch marks never allocates.
#pragma once

#include <cstddef>
#include <memory>

namespace qiv {

class small_byte_array {
public:
  static constexpr std::size_t inline_size = 1024;

  explicit small_byte_array(std::size_t size)
      : size_(size), overflow_(size > inline_size ? new unsigned char[size - inline_size]() : nullptr) {}

  std::size_t size() const { return size_; }

  unsigned char& operator[](std::size_t i) { return i < inline_size ? inline_[i] : overflow_[i - inline_size]; }

private:
  std::size_t size_;
  unsigned char inline_[inline_size] = {};
  std::unique_ptr<unsigned char[]> overflow_;
};

} // namespace qiv
