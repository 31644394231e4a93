// Opening an MP4 file into the library's file model.
#pragma once

#include <cstdint>

#include "inputs/mp4/mp4_file.h"
#include "inputs/mp4/mp4_stream.h"

namespace tarnex {

// Reads the file's boxes from the start of `in` (options: open_option bits),
// merges its movie fragments into its tracks, checks the movie header and
// builds the song list. A file that cannot seek is read up to its media data.
//
// A file cut short after its movie box (an interrupted download) is refused
// by default, as a tag writer needs; `keep_what_is_there` opens it with the
// boxes that are whole, so the media present can play.
enum class cut_file { refuse, keep_what_is_there };
void mp4_open_file(mp4_file& file, stream& in, std::uint32_t options, bool seekable,
                   cut_file when_cut = cut_file::refuse);

}  // namespace tarnex
