// What stands behind the RIFF's end: tags other programs append to a WAV
// file (ID3v1, APEv2), a chunk written past the RIFF size, any bytes. The
// player reads none of it, and its chunk edits move the RIFF's end, so the
// bytes are put back behind the new end as they were: the RIFF size goes on
// covering the RIFF alone.
#pragma once

#include <functional>

#include "core/abort_signal.h"
#include "io/file_object.h"

namespace riff_chunks {

// Runs `edit` on the file cut back to its RIFF, then appends what stood
// behind it. The chunk tree is checked first (riff_chunks::check_tree):
// an edit refused for it leaves the file as it was. The edit must leave the
// file ending at the RIFF's end.
// `original` is the file `file` is a copy of, which the edit leaves as it
// is: the tail is copied back from there, so it is never set aside in a
// temporary file that a stopped edit could leave behind. Null when `file`
// itself is the only copy: the tail then waits in memory.
void edit_keeping_tail(vantrel_io::file_object& file, vantrel_io::file_object* original,
                       const std::function<void()>& edit, const abort_signal& abort);

}  // namespace riff_chunks
