// Writing new tags into an MP4 file without moving its media data: the
// movie box is rebuilt in memory with a fresh user-data box; a movie box
// that is the last box ends up rewritten at its own offset, any other is
// turned into "free" and the new one appended. No chunk offset of the media
// changes; renamed chapters of a chapter text track get new samples in a
// media data box of their own just before the new movie box.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "inputs/mp4/mp4_file.h"
#include "inputs/mp4/mp4_stream.h"

namespace tarnex {

// Bits of the write mode.
enum write_mode_bit : std::uint32_t {
  mode_item_list = 1,
  mode_tags_box = 2,
};

// The mode for the file's songs and pictures: the item list alone when one
// song and at most one front cover is all there is to store.
std::uint32_t choose_write_mode(const mp4_file& file);

// Rewrites the movie box of `file` (opened from `io`) with the songs'
// fields, the pictures, the chapters and the index map. The new box is
// built before the file is touched; a file whose boxes do not end exactly
// at its size (after an appended ID3v1 tag or a "free" box open to the end
// of the file, which this cuts), or whose movie fragments need the movie
// box before them, is refused untouched.
// Media data whose box runs to the end of the file is given its size. The
// writes are ordered so that a write cut off at any point leaves a file
// that reads as the old one or as the new one, and a write that fails
// before the switch puts the old layout back. Appends the layout check's
// findings and the cut, if any, to `reports`; on return the file object
// describes the new layout. `io` must not honour an abort: once the first
// byte is written, the writes run to the end.
void mp4_update_file_tags(mp4_file& file, stream& io, std::uint32_t write_mode, std::vector<std::string>& reports);

}  // namespace tarnex
