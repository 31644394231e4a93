// Serialising the tag model as an ID3v2.3 or 2.4 tag: header, frames, zero
// padding. No extended header, no footer, no tag-level unsynchronisation.
#pragma once

#include <cstdint>

#include "metadata/tags/id3v2_tag.h"

namespace id3parser {

// Appends the tag to `out`. When it fits `room` (the whole size, header
// included, of the tag it replaces) with at most `max_padding` bytes to
// spare, the padding makes it fill `room` exactly; otherwise the padding is
// max_padding, at most 2048 bytes. Frames whose identifier is not four
// letters or digits are left out: a zero byte there would end the tag for
// every reader.
void write_tag(byte_vector& out, const tag& t, std::uint64_t room, std::uint64_t max_padding);

void append_syncsafe(byte_vector& out, std::uint64_t value);
void append_u32_be(byte_vector& out, std::uint64_t value);

}  // namespace id3parser
