// Reading the big-endian numbers and arrays of MP4 boxes. Array readers check
// that the bytes are there before they allocate, so a count read from a
// damaged file cannot ask for more memory than the file could fill.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "inputs/mp4/mp4_stream.h"

namespace tarnex {

// A big-endian 32-bit number already in memory.
inline std::uint32_t load_u32(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

// The largest size a box header's 32-bit field holds; a larger box takes the
// 64-bit form.
inline constexpr std::uint64_t max_u32 = 0xFFFFFFFFu;

std::uint8_t read_u8(stream& in);
std::uint16_t read_u16(stream& in);
std::uint32_t read_u32(stream& in);
std::uint64_t read_u64(stream& in);

// The byte size of `count` entries of `entry_bytes` each, after checking that
// the stream holds them; sizes no 32-bit process could address are refused.
std::uint32_t checked_array_bytes(stream& in, std::uint64_t count, std::uint32_t entry_bytes);

// `count` 32-bit values, replacing `out`.
void read_u32_array(stream& in, std::uint64_t count, std::vector<std::uint32_t>& out);
// `count` 32-bit values widened to 64 bits, replacing `out`.
void read_u32_array_widened(stream& in, std::uint64_t count, std::vector<std::uint64_t>& out);
// `count` 64-bit values, replacing `out`.
void read_u64_array(stream& in, std::uint64_t count, std::vector<std::uint64_t>& out);

// The expandable length of an MPEG-4 descriptor: up to four bytes of seven
// bits each, the top bit set while more follow.
std::uint32_t read_descriptor_length(stream& in);

// `bytes` bytes as text (the string keeps its own terminating zero).
std::string read_sized_text(stream& in, std::uint64_t bytes);

// A four-character code as the 32-bit number it is stored as.
constexpr std::uint32_t fourcc(const char (&code)[5]) {
  return (std::uint32_t(std::uint8_t(code[0])) << 24) | (std::uint32_t(std::uint8_t(code[1])) << 16) |
         (std::uint32_t(std::uint8_t(code[2])) << 8) | std::uint32_t(std::uint8_t(code[3]));
}

// A box that holds nothing but room: "free", or "skip" as some writers
// name it.
constexpr bool is_free_box(std::uint32_t type) { return type == fourcc("free") || type == fourcc("skip"); }

}  // namespace tarnex
