#include "core/profile_identity.h"

#include <array>
#include <cstddef>

#include "foundation/case_folding.h"
#include "foundation/string_buffer.h"

namespace {

constexpr std::array<std::uint32_t, 256> make_crc_table() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t value = n;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? 0xEDB88320u ^ (value >> 1) : value >> 1;
    table[n] = value;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> crc_table = make_crc_table();

std::uint32_t crc32(const char* bytes, std::size_t length) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < length; ++i)
    crc = crc_table[(crc ^ static_cast<std::uint8_t>(bytes[i])) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

}  // namespace

std::uint32_t profile_identity(const char* profile_path) {
  // Every instance must fold exactly the same way, or two of them would run
  // on one profile: the shared folding is the one the rest of the system
  // compares paths with.
  qiv::string_buffer folded;
  qiv::string_add_lower(folded, profile_path, qiv::until_nul);
  return crc32(folded.get_ptr(), folded.get_length());
}

void profile_mutex_name(std::uint32_t identity, wchar_t (&name)[profile_mutex_name_size]) {
  static constexpr wchar_t digits[] = L"0123456789ABCDEF";
  const wchar_t prefix[] = L"ZORV_";
  for (int i = 0; i < 5; ++i) name[i] = prefix[i];
  for (int i = 0; i < 8; ++i) name[5 + i] = digits[(identity >> (28 - 4 * i)) & 0xF];
  name[13] = L'\0';
}
