#include "foundation/wide_string.h"

#include <cstdlib>
#include <cwchar>
#include <utility>

#include "foundation/checked_alloc.h"
#include "foundation/exceptions.h"
#include "foundation/utf8.h"

namespace qiv {

namespace {

// The shared empty value: the prefix unit and the terminator. Never written
// (every change to a string allocates first) and never freed.
wchar_t shared_empty[2] = {L' ', L'\0'};

wchar_t* allocate_units(std::size_t count) {
  return static_cast<wchar_t*>(realloc_array_checked(nullptr, count, sizeof(wchar_t)));
}

} // namespace

wide_string::wide_string() noexcept : units_(shared_empty) {}

wide_string::wide_string(const char* utf8) : units_(shared_empty) {
  if (utf8[0] == '\0') return;
  const std::size_t text_units = estimate_utf8_to_wide(utf8);  // terminator included
  wchar_t* units = allocate_units(text_units + 1);
  units[0] = L' ';
  convert_utf8_to_wide(units + 1, text_units, utf8, ~std::size_t(0));
  units_ = units;
}

wide_string::wide_string(const wide_string& other) : units_(shared_empty) {
  if (other.units_ == shared_empty) return;
  const std::size_t count = std::wcslen(other.units_) + 1;
  units_ = allocate_units(count);
  std::wmemcpy(units_, other.units_, count);
}

wide_string::wide_string(wide_string&& other) noexcept : units_(std::exchange(other.units_, shared_empty)) {}

wide_string& wide_string::operator=(const wide_string& other) {
  if (this != &other) {
    wide_string copy(other);
    *this = std::move(copy);
  }
  return *this;
}

wide_string& wide_string::operator=(wide_string&& other) noexcept {
  if (this != &other) {
    release();
    units_ = std::exchange(other.units_, shared_empty);
  }
  return *this;
}

wide_string::~wide_string() { release(); }

void wide_string::release() noexcept {
  if (units_ != shared_empty) std::free(units_);
  units_ = shared_empty;
}

wchar_t* wide_string_reserve(wide_string& string, std::size_t extra) {
  const std::size_t old_length = std::wcslen(string.units_);  // prefix counted
  if (extra >= ~std::size_t(0) - old_length) throw_bad_alloc();
  const std::size_t count = old_length + extra + 1;
  wchar_t* units = allocate_units(count);
  std::wmemcpy(units, string.units_, old_length + 1);
  std::wmemset(units + old_length + 1, L'\0', extra);
  string.release();
  string.units_ = units;
  return units + old_length;
}

int wide_string_compare(const wide_string& a, const wide_string& b) {
  const wchar_t* x = a.text();
  const wchar_t* y = b.text();
  for (;; ++x, ++y) {
    if (*x != *y) return static_cast<unsigned>(*x) < static_cast<unsigned>(*y) ? -1 : 1;
    if (*x == L'\0') return 0;
  }
}

int wide_string_list_compare(const wide_string* a, std::size_t a_count, const wide_string* b,
                             std::size_t b_count) {
  for (std::size_t i = 0;; ++i) {
    if (i == a_count) return i == b_count ? 0 : -1;
    if (i == b_count) return 1;
    if (const int order = wide_string_compare(a[i], b[i])) return order;
  }
}

} // namespace qiv
