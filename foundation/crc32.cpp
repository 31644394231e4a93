#include "foundation/crc32.h"

#include <array>

namespace {

constexpr std::array<std::uint32_t, 256> make_table() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t value = n;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? 0xEDB88320u ^ (value >> 1) : value >> 1;
    table[n] = value;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> table = make_table();

}  // namespace

std::uint32_t qiv::crc32(const void* bytes, std::size_t length) noexcept {
  const auto* p = static_cast<const unsigned char*>(bytes);
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < length; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}
