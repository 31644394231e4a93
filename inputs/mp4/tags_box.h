// The "tags" box of the user-data box: file-level fields, several pictures
// and per-chapter fields, for files whose chapters play as songs and which
// the item list (one set of fields, one cover) cannot describe.
#pragma once

#include <cstdint>
#include <vector>

#include "inputs/mp4/box_writing.h"
#include "inputs/mp4/item_list.h"
#include "inputs/mp4/mp4_atom_reader.h"
#include "inputs/mp4/tag_fields.h"

namespace tarnex {

struct tags_segment {
  std::uint32_t chapter = 0;
  tag_fields fields;
};

struct tags_content {
  tag_fields fields;
  std::vector<cover_picture> pictures;
  std::vector<tags_segment> segments;
};

// Reads with the open options' tags (0x02) and pictures (0x08) bits.
void read_tags_box(tags_content& out, mp4_atom_reader& in, std::uint64_t size, std::uint32_t options);
// The payload, without the box's own header.
void write_tags_box(const tags_content& content, byte_buffer& out);

}  // namespace tarnex
