// The standard CRC-32 (reflected polynomial 0xEDB88320, initial and final
// value complemented): the profile identity, function-name hashes and
// track-handle keys all use it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qiv {

std::uint32_t crc32(const void* bytes, std::size_t length) noexcept;

}  // namespace qiv
