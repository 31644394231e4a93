// Vorbis-comment blocks as FLAC, Ogg Vorbis, Opus and Ogg FLAC carry them:
// 32-bit little-endian lengths and counts, a vendor string, then NAME=value
// entries, optionally after a codec signature and before a framing byte.
// The builders here write a block from a track_info; rebuilding keeps the old
// block's vendor, its picture entries and the entries no reading takes for a
// field (not UTF-8, no name), which a track_info cannot hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/abort_signal.h"
#include "foundation/array.h"
#include "io/file_object.h"
#include "io/memory_reader.h"

class track_info;

// Other programs spell four fields differently in comment blocks; names are
// translated on the way in and out so both spellings land in one field.
// Any other name comes back unchanged.
const char* comment_name_for_storage(const char* info_name);
const char* comment_name_from_storage(const char* stored_name);

// "COVERART", "COVERARTMIME" or "METADATA_BLOCK_PICTURE" in any case.
bool comment_is_picture_name(const char* name, std::size_t length);

void comment_block_write(const char* vendor, const track_info& info, const void* prefix, std::uint32_t prefix_size,
                         vantrel_io::writer& out, bool framing, const abort_signal& abort);

// The old block's prefix of prefix_size bytes is skipped, not checked: the
// caller already recognised the packet by it. A damaged old block is
// exception_io_data and nothing is written.
void comment_block_rebuild(const void* old_block, std::uint32_t old_size, const track_info& info, const void* prefix,
                           std::uint32_t prefix_size, bool framing, vantrel_io::writer& out,
                           const abort_signal& abort);

// A length past what the reader holds is exception_io_data.
std::string comment_block_read_string(vantrel_io::memory_reader& reader);
void comment_block_write_u32(vantrel_io::writer& out, std::uint32_t value, const abort_signal& abort);
void comment_block_write_string(vantrel_io::writer& out, const std::string& text, const abort_signal& abort);
void comment_block_write_entry(vantrel_io::writer& out, const char* name, const char* value,
                               const abort_signal& abort);

// Pads a rewritten block so that it can often replace the old one in place:
// up to the old size when it shrank (by at most 16384 bytes), else 2048
// bytes of room for the next edit.
void comment_pad(qiv::array<std::uint8_t>& block, std::uint32_t old_size);
