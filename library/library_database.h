// "database.dat": every music folder's stored blob under its folder text,
// read once on the library's first use and written at shutdown. Reading
// leaves each blob in the open file as a window that its folder object
// reads when it is made.
#pragma once

#include <memory>

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

// Work that wants the library's tracks the moment the read-ahead has them.
class library_read_ahead_use {
public:
  // Dropped with the read-ahead, or on its thread when its restore failed.
  virtual ~library_read_ahead_use() = default;
  // On the read-ahead's thread, once the listed folders are restored: the
  // tracks the library lists when it takes the read-ahead, in its order. The
  // library itself may be in use on the main thread meanwhile.
  virtual void use(track_handle_list tracks) noexcept = 0;
};

// Main thread, at start-up once the folder list is known: reads the file and
// restores the listed folders from their blobs on a worker thread while the
// rest of the program starts, so that the library's first use only waits for
// what is left; then hands the restored tracks to `then`, which the first
// use no longer waits for. Without a thread the first use reads the file
// itself.
void library_database_preload(std::unique_ptr<library_read_ahead_use> then = nullptr);
// Main thread: waits for a preload (and what it handed its tracks to) and
// drops what it made and was not taken.
void library_database_drop_preload() noexcept;
// At shutdown. Leaves the file untouched when the library was never loaded;
// `reset` removes it. A failed write offers to retry.
void library_database_save(bool reset);
