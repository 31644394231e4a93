// Whether the seek table of a version 8 stream fits the stream. Its offsets
// count from the stream header, so a tool that grows or shrinks a packet in
// front of the audio without writing the table anew leaves every offset
// wrong by the same amount; other players read such a stream from its start
// and never look at the table, but the library seeks through it.
#pragma once

#include <cstdint>

#include "core/abort_signal.h"
#include "io/file_object.h"

namespace musepack {

// The position of the packet before the audio that leads the library to a
// seek table whose first entry is not where the first audio packet lies
// (the "SO" packet pointing at it, or the table itself); no_stale_table when
// the table fits, or when there is none.
inline constexpr std::uint64_t no_stale_table = ~std::uint64_t(0);
std::uint64_t find_stale_seek_table(vantrel_io::file_object& file, std::uint64_t header_position,
                                    const abort_signal& abort);

}  // namespace musepack
