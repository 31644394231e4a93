// GUID equality, used wherever a class, command or section GUID is compared.
#pragma once

#include <cstdint>
#include <cstring>

#include <guiddef.h>

namespace qiv {

// All 16 bytes, compared as four 32-bit words.
inline bool guid_equal(const GUID& a, const GUID& b) {
  std::uint32_t wa[4];
  std::uint32_t wb[4];
  std::memcpy(wa, &a, sizeof(wa));
  std::memcpy(wb, &b, sizeof(wb));
  return wa[0] == wb[0] && wa[1] == wb[1] && wa[2] == wb[2] && wa[3] == wb[3];
}

} // namespace qiv
