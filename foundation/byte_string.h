// Byte-string primitives shared by every string class and string-keyed map.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/exceptions.h"

namespace qiv {

// Bytes before the first NUL, at most max.
std::size_t strnlen(const char* text, std::size_t max);

// Byte-wise order of two NUL-terminated texts, bytes taken as unsigned:
// -1, 0 or 1. The key order of every string-keyed map; deliberately neither
// locale- nor case-aware, so that it is stable across machines.
int strcmp_bytes(const char* a, const char* b);

// Room for `length` bytes of text and the NUL, refusing a total that wraps:
// the storage size of every string class.
inline std::uint32_t bytes_for_text(std::uint64_t length) {
  if (length >= UINT32_MAX) throw_bad_alloc();
  return static_cast<std::uint32_t>(length + 1);
}

} // namespace qiv
