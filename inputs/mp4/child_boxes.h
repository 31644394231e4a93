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

// The walk for boxes that other programs' damage leaves with sizes that do
// not add up (an interrupted rewrite, a file cut short): a child that runs
// past the box is handed over with the bytes the box holds and `whole`
// false, and bytes that cannot be a box header end the walk. Answers false
// when the walk ended that way. handler(type, content reader, content size,
// whole) for each child.
template <class Handler>
bool read_damaged_child_boxes(stream& in, std::uint64_t size, Handler&& handler) {
  std::uint64_t consumed = 0;
  while (consumed < size) {
    box_header header;
    if (size - consumed < 8 || !read_box_header(in, header) || header.header_size > size - consumed) return false;
    const std::uint64_t left = size - consumed - header.header_size;
    const bool whole = header.content_size <= left;
    const std::uint64_t content_size = whole ? header.content_size : left;
    mp4_atom_reader content(in, content_size);
    handler(header.type, content, content_size, whole);
    content.finish();
    consumed += header.header_size + content_size;
  }
  return true;
}

}  // namespace tarnex
