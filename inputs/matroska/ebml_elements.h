// Element headers and the child loop of EBML. IDs are held with their
// length-marker bit cleared (Void 0xEC is 0x6C, Segment 0x18538067 is
// 0x08538067), which is also the form ebml_encode_vint writes back.
#pragma once

#include <cstdint>

#include "inputs/matroska/ebml_element_handler.h"
#include "inputs/matroska/ebml_reader.h"

namespace Matroska {

// The only size that means "unknown": the one-byte form 0xFF.
inline constexpr std::uint64_t ebml_unknown_size = ~std::uint64_t{0};

// 1 to 4 bytes; a first byte without a marker bit in its top four bits is
// exception_io_data.
std::uint32_t ebml_read_id(ebml_reader& reader);
// 1 to 8 bytes; a first byte of 0 is exception_io_data.
std::uint64_t ebml_read_size(ebml_reader& reader);
// The size whose first byte has been read already.
std::uint64_t ebml_read_size_rest(ebml_reader& reader, std::uint8_t first);

// The length (1 to 8) that the first byte of a variable-length number
// announces; 0 for a first byte of 0.
unsigned ebml_vint_length(std::uint8_t first);
// The value bits of a variable-length number whose first byte has been read;
// `length` gets its length. A first byte of 0 is exception_io_data.
std::uint64_t ebml_read_vint_rest(ebml_reader& reader, std::uint8_t first, unsigned& length);

// Hands every child of the current scope to the handler, then sets its done.
void ebml_read_children(ebml_reader& reader, ebml_element_handler& handler);
// The same for an element the schema allows once: a second run of the same
// handler is exception_io_data.
void ebml_read_children_once(ebml_reader& reader, ebml_element_handler& handler);
// Reads the element at the position, which must have `expected_id`, with the
// handler; leaves the reader after the element.
void ebml_read_element(ebml_reader& reader, ebml_element_handler& handler, std::uint32_t expected_id);

// Moves to the first 0x1A byte of the file, skipping junk before the header;
// a file without one is exception_io_data.
void ebml_find_header(ebml_reader& reader);

}  // namespace Matroska
