#include "metadata/title/title_run_text.h"

#include <cstring>

#include "foundation/exceptions.h"

void title_run_text::reserve(std::size_t length) {
  if (length <= capacity_) return;
  if (length >= (~std::size_t(0) >> 1)) qiv::throw_overflow();
  std::size_t capacity = capacity_ * 2 + 1;
  if (capacity < length) capacity = length;
  std::unique_ptr<char[]> grown(new char[capacity + 1]);
  std::memcpy(grown.get(), data_, length_ + 1);
  on_heap_ = std::move(grown);
  data_ = on_heap_.get();
  capacity_ = capacity;
}

void title_run_text::add_string(const char* text, std::size_t max) {
  const std::size_t n = strnlen(text, max);
  if (n == 0) return;
  // The text may be a piece of this one, which growing would move.
  if (text >= data_ && text <= data_ + length_) {
    const std::size_t offset = static_cast<std::size_t>(text - data_);
    reserve(length_ + n);
    text = data_ + offset;
  } else {
    reserve(length_ + n);
  }
  std::memmove(data_ + length_, text, n);
  length_ += n;
  data_[length_] = '\0';
}

void title_run_text::set_string(const char* text, std::size_t max) {
  if (text >= data_ && text <= data_ + length_) {
    const std::size_t n = strnlen(text, max);
    std::memmove(data_, text, n);
    length_ = n;
    data_[length_] = '\0';
    return;
  }
  length_ = 0;
  data_[0] = '\0';
  add_string(text, max);
}

void title_run_text::truncate(std::size_t length) {
  if (length >= length_) return;
  length_ = length;
  data_[length_] = '\0';
}

char* title_run_text::lock_buffer(std::size_t n) {
  if (n == qiv::until_nul) qiv::throw_overflow();
  length_ = 0;
  data_[0] = '\0';
  reserve(n);
  std::memset(data_, 0, n + 1);
  return data_;
}

void title_run_text::unlock_buffer() { length_ = std::strlen(data_); }
