// Where a Musepack stream's audio ends, found from the stream's own framing
// so that trailing tags claiming bytes before it can be told from real ones.
#pragma once

#include <cstdint>

#include "core/abort_signal.h"
#include "io/file_object.h"

namespace musepack {

// Past the stream-end packet of a version 8 stream; for a version 7 stream,
// the start of the 32-bit word its last frame ends in (the audio ends with
// that word). A version 8 stream without its end packet was cut: its audio
// ends at the start of the last packet found, or earlier at the first
// packet that reaches past `tags_start` (where the trailing tags begin),
// since a tag written after the cut lies in the bytes the cut packet
// claims. A version 7 stream whose frames cannot be followed to its end
// gives 0 (no bound).
std::uint64_t find_audio_end(vantrel_io::file_object& file, std::uint64_t header_position, std::uint64_t tags_start,
                             const abort_signal& abort);

// The start of the packet a version 8 stream is cut inside, the file read
// up to `readable_end`, when that packet holds no audio (the seek table
// after the last audio packet): the library refuses a stream whose seek
// table it cannot read whole, and plays one that has none. filesize_unknown:
// no such cut.
std::uint64_t find_cut_side_packet(vantrel_io::file_object& file, std::uint64_t header_position,
                                   std::uint64_t readable_end, const abort_signal& abort);

}  // namespace musepack
