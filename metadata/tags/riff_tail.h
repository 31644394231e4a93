// What stands behind the RIFF's end: tags other programs append to a WAV
// file (ID3v1, APEv2), a chunk written past the RIFF size, any bytes. The
// player reads none of it, and its chunk edits move the RIFF's end, so the
// bytes are set aside for the edit and put back behind the new end as they
// were: the RIFF size goes on covering the RIFF alone.
#pragma once

#include <functional>

#include "core/abort_signal.h"
#include "io/file_object.h"

namespace riff_chunks {

// Runs `edit` on the file cut back to its RIFF, then appends what stood
// behind it. The chunk tree is checked first (riff_chunks::check_tree):
// an edit refused for it leaves the file as it was. The edit must leave the
// file ending at the RIFF's end.
void edit_keeping_tail(vantrel_io::file_object& file, const std::function<void()>& edit, const abort_signal& abort);

}  // namespace riff_chunks
