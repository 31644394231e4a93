// The text one evaluation run builds before it is handed to the caller's
// output in one piece. The first bytes live inside the object, enough for a
// list line, so a run allocates nothing; and an output that fits its
// allocation to its text (qiv::string_small) is set once instead of being
// emptied, shrunk and grown again piece by piece on every run.
#pragma once

#include <cstddef>
#include <memory>

#include "foundation/string_object.h"

class title_run_text final : public qiv::string_object {
public:
  title_run_text() noexcept { in_object_[0] = '\0'; }
  title_run_text(const title_run_text&) = delete;
  title_run_text& operator=(const title_run_text&) = delete;

  void add_string(const char* text, std::size_t max = qiv::until_nul) override;
  const char* get_ptr() const override { return data_; }
  void set_string(const char* text, std::size_t max = qiv::until_nul) override;
  void truncate(std::size_t length) override;
  std::size_t get_length() const override { return length_; }
  char* lock_buffer(std::size_t n) override;
  void unlock_buffer() override;

private:
  // Room for `length` bytes and the NUL; the text so far is kept.
  void reserve(std::size_t length);

  static constexpr std::size_t in_object_size = 256;
  char in_object_[in_object_size];
  std::unique_ptr<char[]> on_heap_;
  char* data_ = in_object_;
  std::size_t capacity_ = in_object_size - 1;  // bytes of text, NUL not counted
  std::size_t length_ = 0;
};
