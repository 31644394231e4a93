// Where a Musepack stream's audio ends, found from the stream's own framing
// so that trailing tags claiming bytes before it can be told from real ones.
#pragma once

#include <cstdint>

#include "core/abort_signal.h"
#include "io/file_object.h"

namespace musepack {

// Past the stream-end packet of a version 8 stream; for a version 7 stream,
// the start of the 32-bit word its last frame ends in (the audio ends with
// that word). A stream whose framing cannot be followed to its end gives
// the start of the last packet found (version 8), or 0 (version 7: no
// bound).
std::uint64_t find_audio_end(vantrel_io::file_object& file, std::uint64_t header_position, const abort_signal& abort);

}  // namespace musepack
