// The most text one title-formatting run writes. Each function keeps within
// its own caps, but nested calls multiply ($replace of a $replace, $progress
// of a $progress, a variable doubled again and again), so functions and
// sequences write through this limit: a hostile script yields a long text,
// never an exhausted memory.
#pragma once

#include <cstddef>
#include <cstring>

#include "foundation/string_object.h"

class title_output_limit final : public qiv::string_object {
public:
  static constexpr std::size_t max_bytes = 1024 * 1024;

  explicit title_output_limit(qiv::string_object& target) : target_(target) {}

  void add_string(const char* text, std::size_t max = qiv::until_nul) override {
    const std::size_t have = target_.get_length();
    if (have >= max_bytes) return;
    target_.add_string(text, fitting(text, max, max_bytes - have));
  }
  void set_string(const char* text, std::size_t max = qiv::until_nul) override {
    target_.set_string(text, fitting(text, max, max_bytes));
  }
  const char* get_ptr() const override { return target_.get_ptr(); }
  void truncate(std::size_t length) override { target_.truncate(length); }
  std::size_t get_length() const override { return target_.get_length(); }
  char* lock_buffer(std::size_t n) override { return target_.lock_buffer(n); }
  void unlock_buffer() override { target_.unlock_buffer(); }

private:
  // The bytes of `text` (up to `max` or its NUL) that fit in `room`, cut
  // before a character that would not fit whole.
  static std::size_t fitting(const char* text, std::size_t max, std::size_t room) {
    std::size_t length = strnlen(text, max < room + 1 ? max : room + 1);
    if (length <= room) return length;
    length = room;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    return length;
  }

  qiv::string_object& target_;
};
