#include "foundation/byte_string.h"

namespace qiv {

std::size_t strnlen(const char* text, std::size_t max) {
  std::size_t length = 0;
  while (length < max && text[length] != '\0') ++length;
  return length;
}

int strcmp_bytes(const char* a, const char* b) {
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  for (;; ++x, ++y) {
    if (*x != *y) return *x < *y ? -1 : 1;
    if (*x == 0) return 0;
  }
}

} // namespace qiv
