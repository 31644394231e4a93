#include "foundation/wide_buffer.h"

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <utility>

#include "foundation/checked_alloc.h"
#include "foundation/utf8.h"

namespace qiv {

wchar_t* wide_buffer::realloc(wchar_t* block, std::size_t units) {
  return static_cast<wchar_t*>(realloc_array_checked(block, units, sizeof(wchar_t)));
}

wide_buffer::wide_buffer(const wide_buffer& other) {
  set_size(other.size_);
  if (size_) std::wmemcpy(storage_, other.storage_, size_);
}

wide_buffer::wide_buffer(wide_buffer&& other) noexcept
    : storage_(std::exchange(other.storage_, nullptr)), size_(std::exchange(other.size_, 0)) {}

wide_buffer& wide_buffer::operator=(const wide_buffer& other) {
  if (this != &other) {
    wide_buffer copy(other);
    *this = std::move(copy);
  }
  return *this;
}

wide_buffer& wide_buffer::operator=(wide_buffer&& other) noexcept {
  if (this != &other) {
    std::free(storage_);
    storage_ = std::exchange(other.storage_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

wide_buffer::~wide_buffer() { std::free(storage_); }

void wide_buffer::set_size(std::size_t units) {
  storage_ = realloc(storage_, units);
  size_ = units;
}

void wide_buffer::assign(const wchar_t* text, std::size_t n) {
  if (n == ~std::size_t(0)) throw_bad_alloc();
  if (storage_ && text >= storage_ && text < storage_ + size_) {
    // Resizing may move or cut the source.
    wide_buffer copy;
    copy.assign(text, n);
    *this = std::move(copy);
    return;
  }
  set_size(n + 1);
  std::wmemcpy(storage_, text, n);
  storage_[n] = L'\0';
}

std::size_t wide_buffer::text_length() const {
  // Bounded by the size: a buffer filled by a call need not be terminated.
  std::size_t length = 0;
  while (length < size_ && storage_[length] != L'\0') ++length;
  return length;
}

wide_buffer string_to_wide(const char* text) {
  wide_buffer result;
  result.set_size(estimate_utf8_to_wide(text));
  convert_utf8_to_wide_unchecked(result.get_buffer(), text);
  return result;
}

wide_buffer string_to_wide_for_system(const char* text) {
  std::wstring units;
  for (const char* p = text; *p != '\0';) {
    std::uint32_t code_point = 0;
    std::size_t length = utf8_decode_char(p, code_point);
    if (length == 0) {
      length = 1;
      code_point = 0xFFFD;
    } else if (code_point > 0x10FFFF) {
      code_point = 0xFFFD;
    }
    wchar_t pair[2];
    units.append(pair, utf16_encode_char(code_point, pair));
    p += length;
  }
  wide_buffer result;
  result.assign(units.data(), units.size());
  return result;
}

wide_buffer utf8_to_wide_buffer(const char* text, std::size_t n) {
  wide_buffer result;
  const std::size_t units = estimate_utf8_to_wide_n(text, n);
  result.set_size(units);
  convert_utf8_to_wide(result.get_buffer(), units, text, n);
  return result;
}

} // namespace qiv
