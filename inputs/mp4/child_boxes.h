// Walking the child boxes of a box: each child is handed to the caller's
// handler inside its own bounded reader, and whatever the handler leaves
// unread is skipped, so one box's parser never misplaces the next box.
#pragma once

#include <cstdint>

#include "inputs/mp4/box_header.h"
#include "inputs/mp4/mp4_atom_reader.h"

namespace tarnex {

// handler(type, content reader, content size) for each child in the
// `size` bytes that `in` holds.
template <class Handler>
void read_child_boxes(stream& in, std::uint64_t size, Handler&& handler) {
  std::uint64_t consumed = 0;
  while (consumed < size) {
    const box_header header = read_child_header(in, size - consumed);
    in.check_remaining(header.content_size);
    mp4_atom_reader content(in, header.content_size);
    handler(header.type, content, header.content_size);
    content.finish();
    consumed += header.header_size + header.content_size;
  }
}

}  // namespace tarnex
