// Editing EBML elements inside an existing file, never moving what follows:
// Void elements cover space no element needs (only their header is written,
// the old bytes stay inside them), elements go into gaps, and a SeekHead
// grows into Void space. Every operation that answers false has written
// nothing; only malformed structure throws (exception_io_data).
//
// Operations that look past an element take `limit`, the end of the master
// element that holds it: a span or a growth never crosses its parent's end,
// or the parent would end inside a Void and no longer read.
#pragma once

#include <cstdint>
#include <vector>

#include "inputs/matroska/ebml_reader.h"

namespace Matroska {

// Rewrites the size of the element at `position` (which must have
// `expected_id`) in the length its size field has; false when the new size
// does not fit that length.
bool ebml_rewrite_size(ebml_reader& writer, std::uint64_t position, std::uint32_t expected_id,
                       std::uint64_t new_size);

// A Void needs 2 bytes at least: a gap of 1 byte cannot be covered.
constexpr bool ebml_gap_fillable(std::uint64_t bytes) { return bytes != 1; }

// The header of a Void element that covers exactly `total` bytes (none for 0).
std::vector<std::uint8_t> ebml_void_head(std::uint64_t total);

// Covers exactly `total` bytes at `position` with one Void element.
void ebml_write_void(ebml_reader& writer, std::uint64_t position, std::uint64_t total);

// The bytes from `position` to the end of the element there (which must have
// `id`) and of the Void elements right after it, up to `limit`.
std::uint64_t ebml_span_with_voids(ebml_reader& reader, std::uint64_t position, std::uint32_t id,
                                   std::uint64_t limit);
// Turns that span into one Void element.
void ebml_void_out(ebml_reader& writer, std::uint64_t position, std::uint32_t id, std::uint64_t limit);

// Writes an element of `id` with the content into a gap of `gap` bytes and a
// Void over the rest; false when it does not fit or would leave 1 byte.
bool ebml_write_into_gap(ebml_reader& writer, std::uint64_t position, std::uint64_t gap, std::uint32_t id,
                         const void* data, std::uint32_t size);

// Puts a Seek entry with the content into the first run of Void children of
// the master content [position, position + size) that can take it.
bool ebml_place_in_void(ebml_reader& writer, std::uint64_t position, std::uint64_t size, const void* data,
                        std::uint32_t length, std::uint64_t& placed_at);

// Appends a Seek entry to the master element at `position`, growing it over
// its trailing Voids and the Voids after it, up to `limit`; its size is
// rewritten in the length its size field has.
bool ebml_append_child(ebml_reader& writer, std::uint64_t position, const void* data, std::uint32_t length,
                       std::uint64_t limit);

// Adds a Seek entry to the SeekHead at `position`: into a Void run inside it
// first, else by growing it.
bool ebml_seekhead_add_entry(ebml_reader& writer, std::uint64_t position, const void* data, std::uint32_t length,
                             std::uint64_t limit);

}  // namespace Matroska
