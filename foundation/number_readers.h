// Strict readers of unsigned 32-bit numbers, used for command-line values.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qiv {

// Hexadecimal digits (0-9, A-F, a-f), most significant first. Any other byte
// throws exception_invalid_params; more than eight significant digits throw
// exception_overflow. An empty text is 0.
std::uint32_t parse_hex_u32(const char* text, std::size_t length);

// Decimal digits only; any other byte throws exception_invalid_params and a
// value above 2^32-1 throws exception_overflow. An empty text is 0.
std::uint32_t parse_dec_u32(const char* text, std::size_t length);

} // namespace qiv
