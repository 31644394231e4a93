// Replacing the tags of a native FLAC file: every comment block and padding
// goes, a new comment block made from the info becomes the last metadata
// block, and every other block (stream info, seek table, pictures,
// application data, a cue sheet the info still names) stays byte for byte.
// The audio frames are never rewritten in place: when the new metadata does
// not fit where the old was, the whole file is written into a temporary file.
// When it fits, the changed span of the metadata goes to disk in one write,
// so a process killed at any moment leaves the old or the new block chain.
#pragma once

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "io/retag_through_temp_file.h"

class track_info;
struct flac_metadata_head;

namespace flac_metadata_writer {

// Comments that describe the audio rather than the music; a retag keeps them.
bool is_preserved_comment(const char* name);

// Writes the info's fields, ReplayGain values and preserved comments into
// `file`. When a temporary file is needed, `temp_source` supplies it (its
// commit then replaces the target); when it offers none, a scratch file is
// written and copied back over the target, which is cut only at the end.
// Failures are exception_io_data (or the file layer's own), and leave the
// file as it was. `head`, when given, is the file's head as it stands (read
// through a handle held without sharing ever since); otherwise it is read.
void write(vantrel_io::file_object& file, retag_temp_source& temp_source, const track_info& info,
           const abort_signal& abort, flac_metadata_head* head = nullptr);

}  // namespace flac_metadata_writer
