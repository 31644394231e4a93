// How FLAC is carried in Ogg: a first packet of 0x7F "FLAC", mapping
// version 1.0, a header-packet count, then the native "fLaC" header with its
// STREAMINFO block; each further header packet is one metadata block.
#pragma once

#include <cstdint>

inline constexpr std::uint32_t ogg_flac_first_packet_min_size = 13;
// Where the native stream header starts in the first packet.
inline constexpr std::uint32_t ogg_flac_header_offset = 9;

// The FLAC packet codec for Ogg streams is registered beside this test.
bool ogg_flac_is_first_packet(const void* packet, std::uint32_t size);
