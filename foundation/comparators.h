// Three-way comparators: every ordered tree, sort and search of the system
// orders by one of these. Each answers -1, 0 or 1.
#pragma once

#include <cstdint>
#include <cstring>

#include <guiddef.h>

namespace qiv {

inline int sign_of_int(std::int64_t value) noexcept { return (value > 0) - (value < 0); }

// The order of the 16 bytes as they lie in memory, as unsigned bytes: the
// order the service registry and the files rely on, which is not the order of
// the numeric fields (Data1 0x100 sorts before Data1 0x1).
inline int guid_compare(const GUID& a, const GUID& b) noexcept {
  return sign_of_int(std::memcmp(&a, &b, sizeof(GUID)));
}

// guid_compare as the ordering of a standard container.
struct guid_less {
  bool operator()(const GUID& a, const GUID& b) const noexcept { return guid_compare(a, b) < 0; }
};

inline int compare_u32(std::uint32_t a, std::uint32_t b) noexcept { return (a > b) - (a < b); }
inline int compare_u64(std::uint64_t a, std::uint64_t b) noexcept { return (a > b) - (a < b); }
inline int compare_double(double a, double b) noexcept { return (a > b) - (a < b); }

} // namespace qiv
