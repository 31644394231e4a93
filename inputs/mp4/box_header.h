// The header in front of every MP4 box: a 32-bit size (1: a 64-bit size
// follows) and a four-character type.
#pragma once

#include <cstdint>

#include "inputs/mp4/mp4_stream.h"

namespace tarnex {

struct box_header {
  std::uint32_t type = 0;
  std::uint64_t content_size = 0;
  std::uint32_t header_size = 0;  // 8, or 16 with a 64-bit size
};

// False instead of a header where the sequence of boxes ends: the end of the
// data, bytes that cannot be a box header, or (with stop_at_id3v1) an ID3v1
// tag appended to the file.
bool read_box_header(stream& in, box_header& out, bool stop_at_id3v1 = false);

// The header of a child of a box of which `parent_left` bytes remain; no
// header, or a content larger than what remains, is "invalid box/atom header".
box_header read_child_header(stream& in, std::uint64_t parent_left);

}  // namespace tarnex
