// The coarse-growth string kept inside long-lived records, arrays and lists.
// It trades a few spare bytes (up to 16 on growth, up to 32 tolerated before
// shrinking) for fewer reallocations of small texts that rarely change.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/string_object.h"

namespace qiv {

class string_small final : public string_object {
public:
  string_small() noexcept = default;
  explicit string_small(const char* text, std::size_t max = until_nul);
  string_small(const string_small& other);
  explicit string_small(const string_object& other);
  string_small(string_small&& other) noexcept;
  string_small& operator=(const string_small& other);
  string_small& operator=(string_small&& other) noexcept;
  ~string_small();

  void add_string(const char* text, std::size_t max = until_nul) override;
  const char* get_ptr() const override { return length_ ? storage_ : empty_text; }
  void set_string(const char* text, std::size_t max = until_nul) override;
  void truncate(std::size_t length) override;
  std::size_t get_length() const override { return length_; }
  char* lock_buffer(std::size_t n) override;
  void unlock_buffer() override;

  // Replaces the text with exactly n bytes, without looking for a NUL.
  void set_string_n(const char* text, std::size_t n);
  void assign_c_str(const char* text);
  // Hands the text to target's set_string.
  void copy_to(string_object& target) const;

  std::size_t get_allocated_size() const { return allocated_; }

private:
  void fit_allocation(std::uint32_t required);
  bool lies_in_storage(const char* text) const;

  char* storage_ = nullptr;
  std::uint32_t allocated_ = 0;
  std::uint32_t length_ = 0;
};

} // namespace qiv
