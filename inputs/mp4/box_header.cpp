#include "inputs/mp4/box_header.h"

#include <cstring>

#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/tarnex_exceptions.h"

namespace tarnex {

namespace {

// An appended ID3v1 tag is 128 bytes starting "TAG": when the bytes read as
// a box size say more than the stream holds, they are the tag, not a box.
bool is_trailing_id3v1(stream& in, const std::uint8_t* bytes) {
  if (std::memcmp(bytes, "TAG", 3) != 0) return false;
  const std::uint64_t size = load_u32(bytes);
  if (size < 8) return true;
  const std::uint64_t end = in.size();
  if (end == unknown_size) return false;
  const std::uint64_t at = in.position();
  return at > end || end - at < size - 8;
}

}  // namespace

bool read_box_header(stream& in, box_header& out, bool stop_at_id3v1) {
  std::uint8_t bytes[8];
  if (in.read(bytes, 8) < 8) return false;
  if (stop_at_id3v1 && is_trailing_id3v1(in, bytes)) return false;
  for (int i = 4; i < 8; ++i)
    if (bytes[i] < 0x20) return false;
  std::uint64_t size = load_u32(bytes);
  std::uint32_t header_size = 8;
  if (size == 1) {
    std::uint8_t wide[8];
    if (in.read(wide, 8) < 8) return false;
    size = (std::uint64_t(load_u32(wide)) << 32) | load_u32(wide + 4);
    header_size = 16;
  }
  if (size < header_size) return false;
  out.type = load_u32(bytes + 4);
  out.content_size = size - header_size;
  out.header_size = header_size;
  return true;
}

box_header read_child_header(stream& in, std::uint64_t parent_left) {
  box_header header;
  if (!read_box_header(in, header) || header.content_size > parent_left) throw exception("invalid box/atom header");
  // The header itself was already taken from the parent's bytes.
  if (parent_left - header.content_size < header.header_size)
    header.header_size = static_cast<std::uint32_t>(parent_left - header.content_size);
  return header;
}

}  // namespace tarnex
