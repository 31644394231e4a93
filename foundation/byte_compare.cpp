#include "foundation/byte_compare.h"

#include "foundation/comparators.h"

namespace qiv {

namespace {

signed char fold_ascii(char c) {
  return static_cast<signed char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

std::size_t bounded_length(const char* text, std::size_t max) {
  std::size_t length = 0;
  while (length < max && text[length] != '\0') ++length;
  return length;
}

} // namespace

int strcmp_lengths(const char* a, std::size_t length_a, const char* b, std::size_t length_b) {
  const std::size_t common = length_a < length_b ? length_a : length_b;
  for (std::size_t i = 0; i < common; ++i) {
    const int r = sign_of_int(static_cast<signed char>(a[i]) - static_cast<signed char>(b[i]));
    if (r != 0) return r;
  }
  if (length_a == length_b) return 0;
  return length_a < length_b ? -1 : 1;
}

int strcmp_n(const char* a, std::size_t max_a, const char* b, std::size_t max_b) {
  return strcmp_lengths(a, bounded_length(a, max_a), b, bounded_length(b, max_b));
}

int stricmp_ascii_n(const char* a, std::size_t length_a, const char* b, std::size_t length_b) {
  for (std::size_t i = 0;; ++i) {
    const signed char ca = i < length_a ? fold_ascii(a[i]) : 0;
    const signed char cb = i < length_b ? fold_ascii(b[i]) : 0;
    if (ca != cb) return sign_of_int(ca - cb);
    if (ca == 0) return 0;
  }
}

int stricmp_ascii(const char* a, const char* b) {
  // fold_ascii changes only A-Z, so bytes 0 and 128-255 pass unfolded.
  for (;; ++a, ++b) {
    const signed char ca = fold_ascii(*a);
    const signed char cb = fold_ascii(*b);
    if (ca != cb) return sign_of_int(ca - cb);
    if (ca == 0) return 0;
  }
}

bool stricmp_ascii_equal(const char* a, const char* b) { return stricmp_ascii(a, b) == 0; }

} // namespace qiv
