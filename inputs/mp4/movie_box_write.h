// Putting a rebuilt movie box into an MP4 file so that a write killed at any
// moment leaves the old file or the new one: in place where every step of
// the staged write is safe, else into a copy of the file that then replaces
// it.
#pragma once

#include "core/abort_signal.h"
#include "inputs/mp4/tag_writing.h"
#include "io/file_object.h"

namespace tarnex {

// `file` holds the file at `path` (with its scheme) open for writing, and no
// other reference to it may be held: a replacement closes it and reopens
// the new file into it. An empty `path` (a caller's file object, which
// cannot be replaced), or a copy that cannot be made, refuses a write that
// is not safe in place (exception_no_safe_rewrite) with the file unchanged.
// Either way the temporary file a killed rewrite left beside `path` goes.
// The abort is honoured until the file first changes.
void write_movie_box(movie_box_rewrite& rewrite, vantrel_io::file_ptr& file, const char* path,
                     const abort_signal& abort);

}  // namespace tarnex
