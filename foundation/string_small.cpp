#include "foundation/string_small.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "foundation/byte_string.h"
#include "foundation/checked_alloc.h"
#include "foundation/exceptions.h"

namespace qiv {

string_small::string_small(const char* text, std::size_t max) { set_string_n(text, strnlen(text, max)); }

string_small::string_small(const string_small& other) : string_object() {
  set_string_n(other.get_ptr(), other.get_length());
}

string_small::string_small(const string_object& other) { set_string_n(other.get_ptr(), other.get_length()); }

string_small::string_small(string_small&& other) noexcept
    : storage_(std::exchange(other.storage_, nullptr)),
      allocated_(std::exchange(other.allocated_, 0)),
      length_(std::exchange(other.length_, 0)) {}

string_small& string_small::operator=(const string_small& other) {
  set_string(other.get_ptr(), other.get_length());
  return *this;
}

string_small& string_small::operator=(string_small&& other) noexcept {
  if (this != &other) {
    std::free(storage_);
    storage_ = std::exchange(other.storage_, nullptr);
    allocated_ = std::exchange(other.allocated_, 0);
    length_ = std::exchange(other.length_, 0);
  }
  return *this;
}

string_small::~string_small() { std::free(storage_); }

void string_small::fit_allocation(std::uint32_t required) {
  std::uint32_t size;
  if (allocated_ < required) {
    if (required > UINT32_MAX - 16) throw_bad_alloc();
    size = required + 16;
  } else if (allocated_ - required > 32) {
    size = required;
  } else {
    return;
  }
  storage_ = static_cast<char*>(mem_realloc_checked(storage_, size));
  allocated_ = size;
}

bool string_small::lies_in_storage(const char* text) const {
  return storage_ && text >= storage_ && text < storage_ + allocated_;
}

void string_small::add_string(const char* text, std::size_t max) {
  if (lies_in_storage(text)) {
    // The reallocation below may move the source away.
    const string_small copy(text, max);
    add_string(copy.get_ptr(), until_nul);
    return;
  }
  const std::size_t n = strnlen(text, max);
  const std::uint32_t required = bytes_for_text(std::uint64_t(length_) + n);
  fit_allocation(required);
  std::memcpy(storage_ + length_, text, n);
  length_ = required - 1;
  storage_[length_] = '\0';
}

void string_small::set_string(const char* text, std::size_t max) {
  if (lies_in_storage(text)) {
    const string_small copy(text, max);
    set_string_n(copy.get_ptr(), copy.get_length());
    return;
  }
  set_string_n(text, strnlen(text, max));
}

void string_small::set_string_n(const char* text, std::size_t n) {
  if (lies_in_storage(text)) {
    // The reallocation below may move or cut a piece of this string's own
    // text before it is copied.
    string_small copy;
    copy.set_string_n(text, n);
    *this = std::move(copy);
    return;
  }
  fit_allocation(bytes_for_text(n));
  std::memcpy(storage_, text, n);
  length_ = static_cast<std::uint32_t>(n);
  storage_[length_] = '\0';
}

void string_small::assign_c_str(const char* text) { set_string_n(text, std::strlen(text)); }

void string_small::copy_to(string_object& target) const { target.set_string(get_ptr(), until_nul); }

void string_small::truncate(std::size_t length) {
  if (length >= length_) return;
  // Shrinking keeps the first length bytes, so the text survives the move.
  fit_allocation(static_cast<std::uint32_t>(length) + 1);
  length_ = static_cast<std::uint32_t>(length);
  storage_[length_] = '\0';
}

char* string_small::lock_buffer(std::size_t n) {
  if (n == until_nul) throw_overflow();
  fit_allocation(bytes_for_text(n));
  std::memset(storage_, 0, allocated_);
  // The storage now holds an empty text; keep the length in step with it in
  // case the caller never unlocks.
  length_ = 0;
  return storage_;
}

void string_small::unlock_buffer() {
  if (!storage_) return;
  length_ = static_cast<std::uint32_t>(strnlen(storage_, allocated_ - 1));
  storage_[length_] = '\0';
  fit_allocation(length_ + 1);
}

} // namespace qiv
