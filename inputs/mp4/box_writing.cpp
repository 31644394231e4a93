#include "inputs/mp4/box_writing.h"

#include <new>

#include "inputs/mp4/box_reading.h"

namespace tarnex {

namespace {

// Boxes of 2 GiB or more, headers included, are refused before they are
// written.
constexpr std::size_t box_size_limit = 0x80000000u;

}  // namespace

void append_box(byte_buffer& out, std::uint32_t type, std::string_view payload) {
  if (payload.size() >= box_size_limit - box_header_bytes) throw std::bad_alloc();
  append_u32(out, std::uint32_t(payload.size() + box_header_bytes));
  append_fourcc(out, type);
  out += payload;
}

std::size_t open_box(byte_buffer& out, std::uint32_t type) {
  const std::size_t at = out.size();
  append_u32(out, 0);
  append_fourcc(out, type);
  return at;
}

void close_box(byte_buffer& out, std::size_t at) {
  const std::size_t size = out.size() - at;
  if (size >= box_size_limit) throw std::bad_alloc();
  for (int i = 0; i < 4; ++i) out[at + std::size_t(i)] = char(size >> (24 - 8 * i));
}

void append_free_box(byte_buffer& out, std::uint32_t size) {
  append_box(out, fourcc("free"), byte_buffer(size - box_header_bytes, '\0'));
}

}  // namespace tarnex
