// The stored form of one folder tree, kept in the library file: every
// subfolder, file and track of a music folder with the cached infos that were
// current when it was written, so the library holds every known track before
// any file is read again.
#pragma once

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "library/folder_tree.h"

// Serialises the tree under its lock into memory, in blocks of one size
// (never one block for all its texts), then writes it out without the lock.
void write_folder_blob(folder_tree& tree, vantrel_io::writer& target, const abort_signal& abort);

// Resets the tree to `folder_path` and fills it from `blob`; `out` receives
// every restored track. Damage is exception_io_data; nothing of the blob is
// trusted (counts, lengths, names, nesting).
void read_folder_blob(folder_tree& tree, const char* folder_path, vantrel_io::file_object& blob,
                      track_handle_list& out);
