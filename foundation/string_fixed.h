// Strings with an in-object buffer, for formatting numbers and times on hot
// paths: they never allocate. A text that would not fit throws
// exception_overflow ("Overflow") and leaves the previous text in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "foundation/byte_string.h"
#include "foundation/exceptions.h"
#include "foundation/string_object.h"

namespace qiv {

// BufferSize bytes of storage hold at most BufferSize - 1 bytes of text.
template <std::size_t BufferSize>
class string_fixed final : public string_object {
  static_assert(BufferSize >= 2);

public:
  static constexpr std::size_t capacity = BufferSize - 1;

  string_fixed() noexcept { text_[0] = '\0'; }
  string_fixed(const string_fixed& other) noexcept : string_object(), length_(other.length_) {
    std::memcpy(text_, other.text_, length_ + 1);
  }
  string_fixed& operator=(const string_fixed& other) noexcept {
    length_ = other.length_;
    std::memmove(text_, other.text_, length_ + 1);
    return *this;
  }

  void add_string(const char* text, std::size_t max = until_nul) override {
    const std::size_t n = strnlen(text, max);
    if (n > capacity - length_) throw_overflow();
    // memmove: appending a piece of the string's own text is allowed.
    std::memmove(text_ + length_, text, n);
    length_ += static_cast<std::uint32_t>(n);
    text_[length_] = '\0';
  }

  const char* get_ptr() const override { return text_; }

  void set_string(const char* text, std::size_t max = until_nul) override {
    // Measured before anything changes, so a text that does not fit leaves
    // the old one intact and a piece of the own text can be set.
    const std::size_t n = strnlen(text, max);
    if (n > capacity) throw_overflow();
    std::memmove(text_, text, n);
    length_ = static_cast<std::uint32_t>(n);
    text_[length_] = '\0';
  }

  void truncate(std::size_t length) override {
    if (length > capacity) length = capacity;
    if (length >= length_) return;
    length_ = static_cast<std::uint32_t>(length);
    text_[length_] = '\0';
  }

  std::size_t get_length() const override { return length_; }

  // Requests of capacity bytes or more answer null; callers test the result.
  char* lock_buffer(std::size_t n) override {
    if (n >= capacity) return nullptr;
    std::memset(text_, 0, BufferSize);
    length_ = 0;
    return text_;
  }

  void unlock_buffer() override {
    length_ = static_cast<std::uint32_t>(strnlen(text_, capacity));
    text_[length_] = '\0';
  }

private:
  std::uint32_t length_ = 0;
  char text_[BufferSize];
};

using string_fixed128 = string_fixed<128>;  // durations and times
using string_fixed64 = string_fixed<64>;    // numbers
using string_fixed65 = string_fixed<65>;    // colour texts of title formatting
using string_fixed33 = string_fixed<33>;    // short texts such as decimal numbers

} // namespace qiv
