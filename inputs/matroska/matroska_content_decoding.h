// Undoing a track's content encodings. Only header stripping is supported:
// compressed (zlib, bzlib, lzo) or encrypted content cannot be read.
#pragma once

#include <cstdint>
#include <vector>

#include "inputs/matroska/matroska_records.h"

namespace Matroska {

inline constexpr std::uint64_t matroska_scope_frames = 1;
inline constexpr std::uint64_t matroska_scope_private = 2;

// Applies the encodings whose scope shares a bit with `scope`, highest order
// first, to the bytes in place. Encryption and every compression but header
// stripping are exception_io_data; unknown encoding types are passed over.
void matroska_decode_content(std::vector<std::uint8_t>& data, const matroska_track& track, std::uint64_t scope);

}  // namespace Matroska
