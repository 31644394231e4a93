// What a tag write stopped after its switch leaves in front of the movie
// box in force: the box the old movie box's header was turned into, still
// spanning more than that box (see tag_writing.h). Its content starts as a
// movie box does, with "mvhd", or, once the return of renamed chapter texts
// began, with those texts. The next write takes it back to the layout an
// unstopped write leaves, whatever that write changes.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "inputs/mp4/box_writing.h"
#include "inputs/mp4/file_check.h"
#include "inputs/mp4/mp4_file.h"
#include "inputs/mp4/mp4_stream.h"

namespace tarnex {

struct stopped_write_leftover {
  enum class shape {
    none,
    // An "mdat" (or, from earlier builds, a "free") box over the old movie
    // box and the boxes up to the new one, media data among them: it shrinks
    // back to the old movie box's own size as a "free" box.
    over_media,
    // A "free" box over the old movie box alone, just in front of the movie
    // box that ends the file: the movie box returns to where it starts.
    before_movie,
    // A "free" box over the old movie box, just in front of the media data
    // box of the new chapter texts and the movie box that ends the file:
    // both return to where it starts, the texts' chunk offset moved back.
    before_chapter_texts,
  };
  shape kind = shape::none;
  std::uint64_t offset = 0;
  // over_media: the old movie box's own size, and the headers inside the
  // box that still run "to the end" with the sizes they get first.
  std::uint32_t old_movie_size = 0;
  std::vector<std::pair<std::uint64_t, byte_buffer>> inner_sizes;
  // before_chapter_texts: how far the two boxes move back, the size of the
  // texts' box, and both boxes as they are written at `offset`.
  std::uint64_t moved_by = 0;
  std::uint64_t texts_size = 0;
  byte_buffer returned;
};

// Looks before the movie box of `file` (read from `io`, its payload
// `movie_payload`) for what a stopped write left; `layout` is the file's
// layout check. A box that does not add up as such a leftover is none, and
// so is one where a track reads what the mend would drop or cover, or would
// leave in a box other than media data, or whose part kept as the old movie
// box is not a movie box of this file's tracks: that is another program's
// data, left as it stands. Where a track holds two chunk offset tables,
// such a box refuses the write (exception_write_refused).
stopped_write_leftover find_stopped_write_leftover(stream& io, const mp4_file& file, std::string_view movie_payload,
                                                   const file_check_result& layout);

// Whether the `size` bytes at `at` begin with an "mvhd" box, as a movie box's
// payload does.
bool starts_as_movie_payload(stream& io, std::uint64_t at, std::uint64_t size);

// Whether any track of the movie box whose payload is `movie_payload`,
// chapter texts included, has a chunk in [from, end) by any of its chunk
// offset tables; where its tables cannot be walked, any may.
bool movie_reads_between(std::string_view movie_payload, std::uint64_t from, std::uint64_t end);

// Whether a run of whole boxes from `from` to `end` holds a media data box
// (one running "to the end" ends the run).
bool run_holds_media_data(stream& io, std::uint64_t from, std::uint64_t end);

}  // namespace tarnex
