// The general growable string, usually a local that a function builds its
// text in. Its allocation doubles and never shrinks, so repeated appends cost
// amortised constant time and truncating and refilling a work string does not
// reallocate.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/string_object.h"

namespace qiv {

class string_buffer final : public string_object {
public:
  string_buffer() noexcept = default;
  explicit string_buffer(const char* text, std::size_t max = until_nul);
  string_buffer(const string_buffer& other);
  explicit string_buffer(const string_object& other);
  string_buffer(string_buffer&& other) noexcept;
  string_buffer& operator=(const string_buffer& other);
  string_buffer& operator=(string_buffer&& other) noexcept;
  ~string_buffer();

  void add_string(const char* text, std::size_t max = until_nul) override;
  const char* get_ptr() const override { return length_ ? storage_ : empty_text; }
  void set_string(const char* text, std::size_t max = until_nul) override;
  void truncate(std::size_t length) override;
  std::size_t get_length() const override { return length_; }
  char* lock_buffer(std::size_t n) override;
  void unlock_buffer() override;

  // Appends without the virtual call and without the check for a source
  // inside this string's own storage: for foreign texts only.
  void append_n(const char* text, std::size_t n);
  void append_c_str(const char* text) { append_n(text, until_nul); }

  std::size_t get_allocated_size() const { return allocated_; }

private:
  void reserve(std::uint32_t bytes);
  bool lies_in_storage(const char* text) const;

  char* storage_ = nullptr;
  std::uint32_t size_in_use_ = 0;  // length + 1 once storage exists
  std::uint32_t allocated_ = 0;
  std::uint32_t length_ = 0;
};

} // namespace qiv
