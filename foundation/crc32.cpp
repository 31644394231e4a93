#include "foundation/crc32.h"

#include <array>

namespace {

// tables[0] is the classic byte table; tables[k] advances a byte through k
// more zero bytes, so that eight bytes are folded in with eight lookups that
// do not wait on one another (track paths are hashed by the 100,000 at
// start-up).
using crc_tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr crc_tables make_tables() {
  crc_tables tables{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t value = n;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? 0xEDB88320u ^ (value >> 1) : value >> 1;
    tables[0][n] = value;
  }
  for (std::size_t k = 1; k < tables.size(); ++k)
    for (std::uint32_t n = 0; n < 256; ++n)
      tables[k][n] = tables[0][tables[k - 1][n] & 0xFF] ^ (tables[k - 1][n] >> 8);
  return tables;
}

constexpr crc_tables tables = make_tables();

}  // namespace

std::uint32_t qiv::crc32(const void* bytes, std::size_t length) noexcept {
  const auto* p = static_cast<const unsigned char*>(bytes);
  std::uint32_t crc = 0xFFFFFFFFu;
  for (; length >= 8; length -= 8, p += 8) {
    const std::uint32_t low = crc ^ (std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                                     std::uint32_t(p[3]) << 24);
    crc = tables[7][low & 0xFF] ^ tables[6][(low >> 8) & 0xFF] ^ tables[5][(low >> 16) & 0xFF] ^ tables[4][low >> 24] ^
          tables[3][p[4]] ^ tables[2][p[5]] ^ tables[1][p[6]] ^ tables[0][p[7]];
  }
  for (; length > 0; --length, ++p) crc = tables[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}
