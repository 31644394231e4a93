// The one interface behind which all text of the system is held (UTF-8,
// NUL-terminated). Functions that produce text take any string_object as
// their output so that the caller chooses the storage: a growable string on
// the stack, a coarse-growth string inside a long-lived record, or a fixed
// in-object buffer for short numbers and times.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qiv {

// A maximum length meaning "up to the NUL".
inline constexpr std::size_t until_nul = ~std::size_t(0);

// The one shared empty text. Growable strings of length 0 hand it out
// whatever storage they hold, so callers may always read what get_ptr
// returns but must never write through it.
inline constexpr char empty_text[1] = "";

class string_object {
public:
  // Appends at most max bytes of text, stopping at its NUL.
  virtual void add_string(const char* text, std::size_t max = until_nul) = 0;
  // The text, never null.
  virtual const char* get_ptr() const = 0;
  // Replaces the text by at most max bytes of text, stopping at its NUL.
  virtual void set_string(const char* text, std::size_t max = until_nul) = 0;
  // Shortens to length bytes; a text already that short is left alone.
  virtual void truncate(std::size_t length) = 0;
  virtual std::size_t get_length() const = 0;
  // Writable zeroed storage for a text of n bytes plus its NUL, to be filled
  // by the caller (typically a Win32 or C call) and closed by unlock_buffer.
  // The fixed strings answer null when n does not fit.
  virtual char* lock_buffer(std::size_t n) = 0;
  // Takes the length from the first NUL in the storage.
  virtual void unlock_buffer() = 0;

  void add_c_str(const char* text) { add_string(text, until_nul); }
  // Appends the value in decimal (defined with the other decimal appends).
  void add_uint(std::uint32_t value);
  bool is_empty() const { return get_ptr()[0] == '\0'; }

protected:
  string_object() = default;
  string_object(const string_object&) = default;
  string_object& operator=(const string_object&) = default;
  // Strings are held by value, never deleted through the interface.
  ~string_object() = default;
};

} // namespace qiv
