// Native files: Win32 files opened for overlapped I/O, so that a transfer
// blocked on a slow or stalled device ends as soon as the abort signal is
// raised. Paths are "file://" paths; Win32 sees them in the "\\?\" long form.
#pragma once

#include <windows.h>

#include "core/abort_signal.h"
#include "foundation/string_object.h"
#include "io/file_object.h"

namespace vantrel_io {

// Transfers are cut into pieces of this size, so that an abort is noticed
// between them and one request never asks the system for gigabytes.
inline constexpr std::uint32_t native_transfer_piece = 16 * 1024 * 1024;
// The largest synchronous transfer of a local file (native_open_local).
inline constexpr std::uint32_t local_read_piece = 256 * 1024;
// The read buffer every native file is handed out with.
inline constexpr std::uint32_t native_read_buffer = 65536;

// The path as Win32 takes it: without "file://"; in the "\\?\" long form
// unless it is a network path ("\\server\share"), which keeps its form.
void win32_path(const char* path, qiv::string_object& out);

// Opens a native file in the given mode and hands it out behind a read
// buffer. A mode outside open_mode is "Invalid parameters".
void native_open(file_ptr& out, const char* path, open_mode mode, const abort_signal& abort);

// Opens a file for brief access, as the library scanner reads thousands of
// files and a tag update rewrites them: on a local fixed drive through a
// handle without overlapped I/O, read and written in pieces of at most
// local_read_piece bytes with the abort signal checked before and after each
// (a bounded transfer on a local disk cannot stall); any other path as
// native_open. Under Wine every overlapped transfer costs about three server
// round trips, a synchronous one none.
void native_open_local(file_ptr& out, const char* path, open_mode mode, const abort_signal& abort);
inline void native_open_local_read(file_ptr& out, const char* path, const abort_signal& abort) {
  native_open_local(out, path, open_mode::read, abort);
}

// The CreateFileW of native_open, for callers that keep the handle (to flush
// it, for example) and wrap it with make_native_file themselves. A failure is
// thrown through the Win32 error mapping.
HANDLE open_native_handle(const char* path, open_mode mode);

// Whether a Win32 path in the "\\?\" long form lies on a local fixed (or
// RAM) drive, whose files native_open_local transfers synchronously.
bool is_on_local_fixed_drive(const char* native);

// A native file object over a handle opened with FILE_FLAG_OVERLAPPED, or
// without it when `synchronous` (then transferred as native_open_local
// does), with no read buffer. It owns the handle from the call on, also when
// it throws. A file that is not `writable` refuses write and resize with
// exception_io_denied. The handle must not share writing: the object keeps
// the file's size once it has asked for it.
file_ptr make_native_file(HANDLE handle, bool writable, bool synchronous = false);

// The same over a handle opened with the access and sharing of `mode`, and
// treated as a file so opened (a file there before, for write_existing).
file_ptr native_file_opened(HANDLE handle, open_mode mode, bool synchronous);

}  // namespace vantrel_io
