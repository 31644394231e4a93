// A new file that the system deletes when the last handle to it closes, until
// it is moved into place: a process killed while writing it (its handles
// closed by the system) or a writer that gives it up leaves nothing behind.
// It is opened without sharing, so while it lives no other program can open,
// delete or move it; a file of its kind that can be opened alone is a
// leftover of a process that died between keeping and moving it.
// Windows and Wine alike delete such a file when a killed process's handles
// close.
#pragma once

#include <windows.h>

#include "core/abort_signal.h"
#include "foundation/win32_handles.h"
#include "io/file_object.h"

namespace vantrel_io {

class delete_pending_file {
public:
  // Creates the file under a Win32 path; an existing file of that name is
  // left alone and the creation fails. Failures go through the Win32 error
  // mapping. A `synchronous` file (on a local disk) is written without
  // overlapped I/O, which under Wine costs server round trips per transfer.
  explicit delete_pending_file(const wchar_t* path, bool synchronous = false);
  delete_pending_file(const delete_pending_file&) = delete;
  delete_pending_file& operator=(const delete_pending_file&) = delete;

  // A file object for writing the content, open on the same file: the file
  // lives while either this object or the file object is open.
  file_ptr open_for_writing(const abort_signal& abort);

  // For flushing it and setting its times and attributes.
  HANDLE handle() const { return handle_.get(); }

  // Replaces `target` (a Win32 path on the same volume) with this file by a
  // rename, the one step that keeps it. When the rename fails the file is
  // again pending deletion and the failure is thrown through the Win32
  // error mapping. Afterwards handle() is a handle to `target`.
  void move_over(const wchar_t* target);

  // After move_over: the target, open for reading and writing without
  // sharing, as a file object that takes this object's handle (opening the
  // target again would cost a tag update of many files dearly under Wine).
  // This object holds no file afterwards.
  file_ptr take_as_target(const abort_signal& abort);

private:
  void set_delete_pending(bool pending);

  win32_handle handle_;
  bool synchronous_;
};

// Deletes the file when no handle anywhere has it open (a live delete-pending
// file is never touched); true when it is gone.
bool delete_if_unused(const wchar_t* path) noexcept;

}  // namespace vantrel_io
