#include "inputs/mp4/box_writing.h"

#include <new>

namespace tarnex {

void append_box(byte_buffer& out, std::uint32_t type, const byte_buffer& payload) {
  if (payload.size() >= 0x80000000u - 8) throw std::bad_alloc();
  append_u32(out, std::uint32_t(payload.size() + 8));
  append_fourcc(out, type);
  out += payload;
}

}  // namespace tarnex
