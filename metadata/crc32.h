// The standard CRC-32 (reflected polynomial 0xEDB88320, initial and final
// value complemented), shared by whatever in the metadata layer hashes text.
#pragma once

#include <cstddef>
#include <cstdint>

std::uint32_t crc32(const void* bytes, std::size_t length) noexcept;
