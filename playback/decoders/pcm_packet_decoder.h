// Integer PCM tracks of Matroska files: the sample format a decoder settles
// on once the bit depth is known.
#pragma once

#include <cstdint>

// `flags` are pcm_format_flags, possibly missing the byte order or the sign:
// a missing byte order is little-endian; a missing sign is signed above 8
// bits and unsigned at 8.
std::uint32_t pcm_resolved_format(std::uint32_t bits_per_sample, std::uint32_t flags);
