// Saving a whole file so that a failure at any moment leaves either the old
// or the new content: the content goes into the target's name with ".tmp"
// appended, reaches the disk, and only then replaces the target by a move.
// The configuration ("config.dat") and the library file are saved this way.
#pragma once

#include <functional>

#include "core/abort_signal.h"
#include "io/file_object.h"

namespace vantrel_io {

// Writes the whole content into the file it is given.
using save_content_writer = std::function<void(file_object& file, const abort_signal& abort)>;

// `target` is a "file://" or bare native path. A read-only target is refused
// before anything is written ("file exists and is read-only"). When another
// program keeps the target open for about a second (refusing the replace
// with a sharing violation, or with "access denied" on a writable target),
// the save fails with exception_io_sharing_violation and the target keeps its
// old content. No ".tmp" file is left behind after a failure.
void write_file_via_temp(const char* target, const save_content_writer& write_content, const abort_signal& abort);

}  // namespace vantrel_io
