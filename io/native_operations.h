// Operations on native files and folders by path ("file://" paths or bare
// Windows paths). Win32 failures are thrown through the Win32 error mapping.
#pragma once

#include <windows.h>

#include "core/abort_signal.h"
#include "foundation/string_object.h"
#include "io/file_object.h"
#include "io/scheme_handler.h"

namespace vantrel_io {

// The "file://" form of a location given by a user, with every component in
// the letter case stored on disk. Unless `no_search`, a bare name is first
// looked for the way the system finds programs. False for another scheme's
// path or when the letter case cannot be found.
bool native_canonicalize_path(const char* path, qiv::string_object& out, bool no_search);

// `writable`: the read-only attribute is clear.
void native_get_stats(const char* path, file_stats& out, bool& writable);
// INVALID_FILE_ATTRIBUTES when they cannot be read; never throws.
DWORD native_get_attributes(const char* path);
// Ends in '\', is a bare drive ("X:") or is a folder on disk.
bool native_is_directory(const char* path);
// Exists and is not a folder.
bool native_file_exists(const char* path);
// An existing folder is a failure too (exception_io_already_exists).
void native_create_directory(const char* path);
// Fails when the target exists.
void native_move(const char* from, const char* to);
void native_move_replace(const char* from, const char* to);
// A folder (it must be empty) or a file.
void native_remove(const char* path);

// Lists a "file://" folder; a missing folder is exception_io_not_found, an
// existing empty one reports nothing (io/folder_listing.cpp).
void native_list_directory(const char* path, directory_callback& callback, const abort_signal& abort);

}  // namespace vantrel_io
