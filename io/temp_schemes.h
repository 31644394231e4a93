// Scratch files without a name of their own, opened through the ordinary path
// dispatch: "tempfile://" gives a new anonymous file in the system's
// temporary folder that the system deletes when it is closed; "tempmem://"
// gives a new file that lives only in memory. Every open makes a new, empty
// object; the paths name no lasting thing, so stats, removal, moves and
// listings report exception_io_not_found.
#pragma once

#include "core/abort_signal.h"
#include "io/file_object.h"

namespace vantrel_io {

inline constexpr char temp_file_path[] = "tempfile://";
inline constexpr char temp_memory_path[] = "tempmem://";

// The files are created "omg*.tmp" in the temporary folder, opened without
// sharing and with delete-on-close, and handed out without a read buffer.
void open_temp_file(file_ptr& out, const abort_signal& abort);
void open_temp_memory(file_ptr& out, const abort_signal& abort);
void open_temp_memory_no_abort(file_ptr& out);

// The second half of a "tempfile://" open: opens the file that
// GetTempFileNameW has just created under `name`, as a delete-on-close file
// without sharing. When that fails the empty file is deleted, so no failed
// open leaves an "omg*.tmp" behind.
void open_created_temp_name(file_ptr& out, const char* name);

}  // namespace vantrel_io
