// Writing the tags of a native FLAC file. Only what the info changes from
// the file's own reading is written: the comments of untouched fields keep
// their bytes and order, and an edit that changes nothing writes nothing.
// Every block but the comment block and padding stays byte for byte (a cue
// sheet block goes only with the "cuesheet" field).
//
// A process killed at any moment leaves the old blocks or the new ones: the
// comment block is rewritten where it stands, against the padding behind
// it, only when every byte that changes lies in one page, which the system
// puts down in one write. Otherwise the whole file is written into a
// temporary file, laid out for the next edit: stream info, pictures and
// application data, the other blocks, the comment block, padding last.
#pragma once

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "io/retag_through_temp_file.h"

class track_info;
struct flac_metadata_head;

namespace flac_metadata_writer {

// Writes the info's fields and ReplayGain values into `file`. When the
// change cannot be made in place, `temp_source` supplies the temporary file
// (its commit then replaces the target); when it offers none, a file that
// lives in memory gets a scratch copy put back over it, and any other is
// refused with exception_no_safe_rewrite before anything is written.
// Failures are exception_io_data (or the file layer's own), a damaged
// comment block exception_comment_block_damaged, and leave the file as it
// was. `head`, when given, is the file's head as it stands (read
// through a handle held without sharing ever since); otherwise it is read.
void write(vantrel_io::file_object& file, retag_temp_source& temp_source, const track_info& info,
           const abort_signal& abort, flac_metadata_head* head = nullptr);

}  // namespace flac_metadata_writer
