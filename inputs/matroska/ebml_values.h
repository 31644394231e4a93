// Typed values of EBML elements, each read from an element's content with the
// element's size. Every value that breaks its limits is exception_io_data:
// nothing is repaired or defaulted here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "inputs/matroska/ebml_reader.h"

namespace Matroska {

// The most a byte string or text of a file is allowed to hold in memory: a
// crafted size would otherwise ask a 32-bit process for gigabytes.
inline constexpr std::uint32_t ebml_max_binary_size = 16 * 1024 * 1024;

// 1 to 8 bytes, big-endian; there is no default for an empty integer.
std::uint64_t ebml_read_uint(ebml_reader& reader, std::uint64_t size);
// 1 to 8 bytes, big-endian two's complement.
std::int64_t ebml_read_int(ebml_reader& reader, std::uint64_t size);
// As ebml_read_uint, and the value must fit 32 bits.
std::uint32_t ebml_read_uint32(ebml_reader& reader, std::uint64_t size);
// As ebml_read_uint, and the value must not be 0.
std::uint64_t ebml_read_uint_nonzero(ebml_reader& reader, std::uint64_t size);
bool ebml_read_bool(ebml_reader& reader, std::uint64_t size);
// 4 bytes (single) or 8 bytes (double).
double ebml_read_float(ebml_reader& reader, std::uint64_t size);
// Printable ASCII up to the first NUL, only NULs after it.
std::string ebml_read_ascii(ebml_reader& reader, std::uint64_t size);
// Valid UTF-8 up to the first NUL, only NULs after it.
std::string ebml_read_utf8(ebml_reader& reader, std::uint64_t size);
// The content as it stands, at most ebml_max_binary_size bytes.
std::vector<std::uint8_t> ebml_read_binary(ebml_reader& reader, std::uint64_t size);

}  // namespace Matroska
