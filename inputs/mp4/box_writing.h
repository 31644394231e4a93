// Appending big-endian numbers and boxes to a byte buffer: the writers build
// whole boxes in memory, so that nothing reaches the file until every size
// is known.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnex {

using byte_buffer = std::string;

inline constexpr std::size_t box_header_bytes = 8;  // with a 32-bit size

inline void append_u8(byte_buffer& out, std::uint32_t v) { out += char(v); }
inline void append_u16(byte_buffer& out, std::uint32_t v) {
  out += char(v >> 8);
  out += char(v);
}
inline void append_u32(byte_buffer& out, std::uint32_t v) {
  append_u16(out, v >> 16);
  append_u16(out, v);
}
inline void append_u64(byte_buffer& out, std::uint64_t v) {
  append_u32(out, std::uint32_t(v >> 32));
  append_u32(out, std::uint32_t(v));
}
inline void append_fourcc(byte_buffer& out, std::uint32_t type) { append_u32(out, type); }

// A box with a 32-bit size; a payload no 32-bit size can hold is refused
// before anything is written.
void append_box(byte_buffer& out, std::uint32_t type, std::string_view payload);

// A box written straight into `out`, its children appended in between:
// open_box answers where its header lies, close_box gives it its 32-bit
// size (refused as above), so no payload is built apart and copied in.
std::size_t open_box(byte_buffer& out, std::uint32_t type);
void close_box(byte_buffer& out, std::size_t at);

// A "free" box of `size` bytes, header included (at least a header).
void append_free_box(byte_buffer& out, std::uint32_t size);

}  // namespace tarnex
