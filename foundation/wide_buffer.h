// A UTF-16 work buffer for passing text to wide Win32 functions. Its size is
// exactly what was asked for, with no spare capacity.
#pragma once

#include <cstddef>

namespace qiv {

class wide_buffer {
public:
  wide_buffer() noexcept = default;
  wide_buffer(const wide_buffer& other);
  wide_buffer(wide_buffer&& other) noexcept;
  wide_buffer& operator=(const wide_buffer& other);
  wide_buffer& operator=(wide_buffer&& other) noexcept;
  ~wide_buffer();

  // Resizes a block of UTF-16 units, keeping its contents; 0 units frees it
  // and yields null. Overflow or failure throws std::bad_alloc.
  static wchar_t* realloc(wchar_t* block, std::size_t units);

  // Exactly n units, contents kept up to the smaller size; 0 frees.
  void set_size(std::size_t units);
  // Sets the text to n units of text plus a terminator. A source inside this
  // buffer is copied through a temporary first.
  void assign(const wchar_t* text, std::size_t n);

  // The text for a Win32 call: an empty text when nothing is held.
  const wchar_t* get_ptr() const { return storage_ ? storage_ : L""; }
  // Writable storage (null when the size is 0), for a call to fill.
  wchar_t* get_buffer() { return storage_; }
  std::size_t get_size() const { return size_; }
  // Units before the first NUL.
  std::size_t text_length() const;

private:
  wchar_t* storage_ = nullptr;
  std::size_t size_ = 0;
};

// The UTF-16 form of a UTF-8 text, sized exactly (terminator included).
wide_buffer string_to_wide(const char* text);
// The same for at most n bytes of the text.
wide_buffer utf8_to_wide_buffer(const char* text, std::size_t n);
// For names handed to the system (paths above all): every byte that is not
// valid UTF-8 and every code point beyond UTF-16 becomes U+FFFD instead of
// ending the text early or turning into '?', so a damaged name can never
// shorten into, or wildcard-match, the name of another file.
wide_buffer string_to_wide_for_system(const char* text);

} // namespace qiv
