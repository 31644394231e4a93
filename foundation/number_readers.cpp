#include "foundation/number_readers.h"

#include "foundation/exceptions.h"

namespace qiv {

std::uint32_t parse_hex_u32(const char* text, std::size_t length) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < length; ++i) {
    const char c = text[i];
    std::uint32_t digit;
    if (c >= '0' && c <= '9') digit = static_cast<std::uint32_t>(c - '0');
    else if (c >= 'a' && c <= 'f') digit = static_cast<std::uint32_t>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') digit = static_cast<std::uint32_t>(c - 'A' + 10);
    else throw exception_invalid_params();
    // The next shift would push bits out of the top.
    if (value & 0xF0000000u) throw exception_overflow();
    value = (value << 4) | digit;
  }
  return value;
}

std::uint32_t parse_dec_u32(const char* text, std::size_t length) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < length; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') throw exception_invalid_params();
    const std::uint32_t next = value * 10u + static_cast<std::uint32_t>(c - '0');
    // A wrapped product no longer divides back to the previous value.
    if (next / 10u != value) throw exception_overflow();
    value = next;
  }
  return value;
}

} // namespace qiv
