// UTF-16 text held by a single pointer, used as the key and display text of
// the library views and the user interface. The buffer's first unit is a
// reserved prefix unit (a space) followed by the text and its terminator;
// comparisons start after the prefix. Every empty value shares one static
// text that is never freed, so empty keys cost no allocation.
#pragma once

#include <cstddef>

namespace qiv {

class wide_string {
public:
  wide_string() noexcept;
  // The UTF-16 form of a UTF-8 text.
  explicit wide_string(const char* utf8);
  wide_string(const wide_string& other);
  wide_string(wide_string&& other) noexcept;
  wide_string& operator=(const wide_string& other);
  wide_string& operator=(wide_string&& other) noexcept;
  ~wide_string();

  // The whole buffer, prefix unit included.
  const wchar_t* get_ptr() const { return units_; }
  // The text proper, after the prefix unit.
  const wchar_t* text() const { return units_ + 1; }
  bool is_empty() const { return units_[1] == L'\0'; }

private:
  friend wchar_t* wide_string_reserve(wide_string& string, std::size_t extra);
  void release() noexcept;

  wchar_t* units_;
};

// Makes room for `extra` more units and answers where the old text ended, for
// the caller to write them there; the room is zero-filled, so the text stays
// terminated whatever the caller writes into it.
wchar_t* wide_string_reserve(wide_string& string, std::size_t extra);

// Ordinal order of the texts after the prefix (UTF-16 units as unsigned
// numbers): -1, 0 or 1.
int wide_string_compare(const wide_string& a, const wide_string& b);

// Element by element by wide_string_compare; a sequence that ends first
// orders first, and two empty sequences are equal.
int wide_string_list_compare(const wide_string* a, std::size_t a_count, const wide_string* b,
                             std::size_t b_count);

} // namespace qiv
