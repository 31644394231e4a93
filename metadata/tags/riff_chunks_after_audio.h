// A recording that never finished leaves its "data" chunk stating size 0,
// and tools that tag such a file afterwards append their chunks behind the
// audio. Those chunks must not be played as audio nor the audio walked as
// chunks: the audio ends where a run of chunks that parse as known ones
// begins and reaches exactly to the end of the file.
#pragma once

#include <cstdint>

#include "core/abort_signal.h"
#include "io/file_object.h"

namespace riff_chunks {

// The start of the first such run in [audio_start, end), or `end` when there
// is none. Only the last stretch of the audio is searched: tags larger than
// that stay taken for audio. The file must be able to seek; it is left
// anywhere.
std::uint64_t find_chunks_after_audio(vantrel_io::file_object& file, std::uint64_t audio_start, std::uint64_t end,
                                      const abort_signal& abort);

}  // namespace riff_chunks
