// "database.dat": every music folder's stored blob under its folder text,
// read once on the library's first use and written at shutdown. Reading
// leaves each blob in the open file as a window that its folder object
// reads when it is made.
#pragma once

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "library/media_library.h"

// Parses an open library file into `blobs`. An entry is made only once its
// blob lies wholly in the file, so a damaged or truncated file keeps every
// record completed before the damage; the damage itself throws.
void library_database_read(stored_blob_map& blobs, const vantrel_io::file_ptr& file, const abort_signal& abort);
// Writes the whole file from the library's folders.
void library_database_write(vantrel_io::file_object& file, const abort_signal& abort);

// The library file in the profile folder.
std::string library_database_path();
// Reads the file (absent or damaged: what could be read) and applies the
// folders; what a preload made is taken instead of reading again.
void library_database_load();
// Main thread, at start-up once the folder list is known: reads the file and
// restores the listed folders from their blobs on a worker thread while the
// rest of the program starts, so that the library's first use only waits for
// what is left. Without a thread the first use reads the file itself.
void library_database_preload();
// Main thread: waits for a preload that was not taken and drops what it made.
void library_database_drop_preload() noexcept;
// At shutdown. Leaves the file untouched when the library was never loaded;
// `reset` removes it. A failed write offers to retry.
void library_database_save(bool reset);
