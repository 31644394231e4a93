#include "foundation/byte_scan.h"

#include <cstring>

namespace qiv {

namespace {

using word = std::uint32_t;
constexpr std::size_t word_size = sizeof(word);
constexpr word low_bits = 0x01010101u;
constexpr word high_bits = 0x80808080u;

word load(const std::uint8_t* p) noexcept {
  word w;
  std::memcpy(&w, p, word_size);
  return w;
}

// Non-zero when some byte of `w` is zero.
constexpr word has_zero_byte(word w) noexcept { return (w - low_bits) & ~w & high_bits; }

}  // namespace

const std::uint8_t* find_byte(const std::uint8_t* from, const std::uint8_t* end, std::uint8_t value) noexcept {
  const word pattern = low_bits * value;
  while (end - from >= static_cast<std::ptrdiff_t>(word_size)) {
    if (has_zero_byte(load(from) ^ pattern)) break;
    from += word_size;
  }
  while (from < end && *from != value) ++from;
  return from;
}

std::size_t first_difference(const std::uint8_t* a, const std::uint8_t* b, std::size_t size) noexcept {
  std::size_t i = 0;
  while (size - i >= word_size && load(a + i) == load(b + i)) i += word_size;
  while (i < size && a[i] == b[i]) ++i;
  return i;
}

std::size_t last_difference_end(const std::uint8_t* a, const std::uint8_t* b, std::size_t size) noexcept {
  std::size_t end = size;
  while (end >= word_size && load(a + end - word_size) == load(b + end - word_size)) end -= word_size;
  while (end > 0 && a[end - 1] == b[end - 1]) --end;
  return end;
}

}  // namespace qiv
