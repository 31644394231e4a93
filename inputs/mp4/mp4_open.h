// Opening an MP4 file into the library's file model.
#pragma once

#include <cstdint>

#include "inputs/mp4/mp4_file.h"
#include "inputs/mp4/mp4_stream.h"

namespace tarnex {

// Reads the file's boxes from the start of `in` (options: open_option bits),
// merges its movie fragments into its tracks, checks the movie header and
// builds the song list. A file that cannot seek is read up to its media data.
void mp4_open_file(mp4_file& file, stream& in, std::uint32_t options, bool seekable);

}  // namespace tarnex
