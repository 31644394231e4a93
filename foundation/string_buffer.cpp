#include "foundation/string_buffer.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "foundation/byte_string.h"
#include "foundation/checked_alloc.h"
#include "foundation/exceptions.h"
#include "foundation/string_small.h"

namespace qiv {

string_buffer::string_buffer(const char* text, std::size_t max) { append_n(text, max); }

string_buffer::string_buffer(const string_buffer& other) : string_object() {
  append_n(other.get_ptr(), other.get_length());
}

string_buffer::string_buffer(const string_object& other) { append_n(other.get_ptr(), other.get_length()); }

string_buffer::string_buffer(string_buffer&& other) noexcept
    : storage_(std::exchange(other.storage_, nullptr)),
      size_in_use_(std::exchange(other.size_in_use_, 0)),
      allocated_(std::exchange(other.allocated_, 0)),
      length_(std::exchange(other.length_, 0)) {}

string_buffer& string_buffer::operator=(const string_buffer& other) {
  set_string(other.get_ptr(), other.get_length());
  return *this;
}

string_buffer& string_buffer::operator=(string_buffer&& other) noexcept {
  if (this != &other) {
    std::free(storage_);
    storage_ = std::exchange(other.storage_, nullptr);
    size_in_use_ = std::exchange(other.size_in_use_, 0);
    allocated_ = std::exchange(other.allocated_, 0);
    length_ = std::exchange(other.length_, 0);
  }
  return *this;
}

string_buffer::~string_buffer() { std::free(storage_); }

void string_buffer::reserve(std::uint32_t bytes) {
  std::uint32_t size = allocated_ ? allocated_ : 1;
  while (size < bytes) {
    if (size > UINT32_MAX / 2) throw_bad_alloc();
    size *= 2;
  }
  if (size > allocated_) {
    storage_ = static_cast<char*>(mem_realloc_checked(storage_, size));
    allocated_ = size;
  }
  size_in_use_ = bytes;
}

bool string_buffer::lies_in_storage(const char* text) const {
  return storage_ && text >= storage_ && text < storage_ + allocated_;
}

void string_buffer::add_string(const char* text, std::size_t max) {
  if (lies_in_storage(text)) {
    // The reallocation below may move or overwrite the source.
    const string_small copy(text, max);
    append_n(copy.get_ptr(), until_nul);
    return;
  }
  append_n(text, max);
}

void string_buffer::append_n(const char* text, std::size_t n) {
  n = strnlen(text, n);
  const std::uint32_t required = bytes_for_text(std::uint64_t(length_) + n);
  reserve(required);
  std::memcpy(storage_ + length_, text, n);
  length_ = required - 1;
  storage_[length_] = '\0';
}

void string_buffer::set_string(const char* text, std::size_t max) {
  if (lies_in_storage(text)) {
    const string_small copy(text, max);
    set_string(copy.get_ptr(), until_nul);
    return;
  }
  const std::size_t n = strnlen(text, max);
  reserve(bytes_for_text(n));
  std::memcpy(storage_, text, n);
  length_ = static_cast<std::uint32_t>(n);
  storage_[length_] = '\0';
}

void string_buffer::truncate(std::size_t length) {
  if (length >= length_) return;
  length_ = static_cast<std::uint32_t>(length);
  storage_[length_] = '\0';
  size_in_use_ = length_ + 1;
}

char* string_buffer::lock_buffer(std::size_t n) {
  if (n == until_nul) throw_overflow();
  const std::uint32_t bytes = bytes_for_text(n);
  reserve(bytes);
  std::memset(storage_, 0, bytes);
  // The storage now holds an empty text; keep the length in step with it in
  // case the caller never unlocks.
  length_ = 0;
  return storage_;
}

void string_buffer::unlock_buffer() {
  if (!storage_) return;
  // Bounded by the allocation: a caller that filled every byte still leaves
  // a terminated text behind.
  length_ = static_cast<std::uint32_t>(strnlen(storage_, allocated_ - 1));
  storage_[length_] = '\0';
  reserve(length_ + 1);
}

} // namespace qiv
