// The four-byte header of a FLAC metadata block: the last-block flag and the
// block type in its first byte, the length of the body in the other three.
#pragma once

#include <cstdint>

inline constexpr std::uint8_t flac_last_block_flag = 0x80;
inline constexpr std::uint32_t flac_block_header_size = 4;
