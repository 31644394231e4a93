#include "io/retag_through_temp_file.h"

#include <windows.h>

#include "foundation/string_buffer.h"
#include "foundation/text_or_resource_id.h"
#include "foundation/win32_handles.h"
#include "io/file_scheme.h"
#include "io/io_exceptions.h"
#include "io/native_file.h"
#include "io/path_schemes.h"
#include "io/retag_temp_path.h"
#include "io/test_write_pause.h"

using namespace vantrel_io;

namespace {

constexpr double replace_timeout_seconds = 120;
constexpr double retry_step_seconds = 0.01;
// For schemes whose files cannot be replaced by a native move.
constexpr double remove_timeout_seconds = 10;

// The Win32 form of both paths when the native file system serves them; the
// replacement is then one atomic move.
bool native_forms(const char* target, const char* temp, qiv::string_object& target_out, qiv::string_object& temp_out) {
  scheme_handler& native = file_scheme_handler();
  if (!native.claims_path(target) || !native.claims_path(temp)) return false;
  win32_path(target, target_out);
  win32_path(temp, temp_out);
  return true;
}

HANDLE open_for_attributes(const wchar_t* path, DWORD access) {
  const HANDLE handle = CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) throw_last_io_error();
  return handle;
}

// One attempt: the temporary file takes the target's creation time and
// attributes, then replaces it.
void replace_native_once(const wchar_t* target, const wchar_t* temp) {
  {
    win32_handle source(open_for_attributes(target, GENERIC_READ));
    // Attribute access only: a temporary file that took a read-only
    // attribute in an earlier attempt can still be opened again.
    win32_handle destination(open_for_attributes(temp, FILE_WRITE_ATTRIBUTES));
    FILETIME created;
    if (!GetFileTime(source.get(), &created, nullptr, nullptr)) throw_last_io_error();
    if (!SetFileTime(destination.get(), &created, nullptr, nullptr)) throw_last_io_error();
    const DWORD attributes = GetFileAttributesW(target);
    if (attributes == INVALID_FILE_ATTRIBUTES) throw_last_io_error();
    SetFileAttributesW(temp, attributes);
    // Windows refuses to replace a read-only file; the temporary file
    // carries the attribute over, so the target stays read-only.
    if (attributes & FILE_ATTRIBUTE_READONLY) {
      if (!SetFileAttributesW(target, attributes & ~FILE_ATTRIBUTE_READONLY)) throw_last_io_error();
      if (!MoveFileExW(temp, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
        const DWORD error = GetLastError();
        SetFileAttributesW(target, attributes);
        SetLastError(error);
        throw_last_io_error();
      }
      return;
    }
  }
  if (!MoveFileExW(temp, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) throw_last_io_error();
}

// The new file must be on disk before it replaces the old one: after a
// power loss the file system may keep the move but not the data behind it.
void flush_to_disk(const wchar_t* path) {
  win32_handle file(open_for_attributes(path, GENERIC_WRITE));
  if (!FlushFileBuffers(file.get())) throw_last_io_error();
}

// A virus scanner or indexer holding the target for a moment shows up as a
// sharing violation or as access denied.
void replace_native(const wchar_t* target, const wchar_t* temp, const abort_signal& abort) {
  flush_to_disk(temp);
  pause_before_file_change();
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    try {
      replace_native_once(target, temp);
      return;
    } catch (const exception_io_sharing_violation&) {
      if (static_cast<double>(GetTickCount64() - start) / 1000.0 > replace_timeout_seconds) throw;
    } catch (const exception_io_denied&) {
      if (static_cast<double>(GetTickCount64() - start) / 1000.0 > replace_timeout_seconds) throw;
    }
    abort.sleep(retry_step_seconds);
  }
}

}  // namespace

retag_through_temp_file::retag_through_temp_file(const char* target) : target_(target) {}

retag_through_temp_file::~retag_through_temp_file() { discard_temp(); }

bool retag_through_temp_file::open_temp(file_ptr& out, const abort_signal& abort) {
  qiv::dynamic_assert(!temp_file_ && temp_path_.is_empty());
  try {
    make_retag_temp_path(target_.get_ptr(), temp_path_);
    open(temp_file_, temp_path_.get_ptr(), open_mode::write_new, abort);
  } catch (const exception_aborted&) {
    // The open may have created the file before it noticed the abort.
    discard_temp();
    throw;
  } catch (const std::exception&) {
    discard_temp();
    return false;
  }
  out = temp_file_;
  return true;
}

void retag_through_temp_file::commit(file_ptr& file, const abort_signal& abort) {
  if (!temp_file_) return;
  // Every handle must be closed before the move: the target's, which the
  // writer holds without sharing, and the temporary file's.
  temp_file_.reset();
  file.reset();
  bool target_removed = false;
  try {
    qiv::string_buffer native_target, native_temp;
    if (native_forms(target_.get_ptr(), temp_path_.get_ptr(), native_target, native_temp)) {
      const text_or_resource_id wide_target(native_target.get_ptr());
      const text_or_resource_id wide_temp(native_temp.get_ptr());
      replace_native(wide_target.get(), wide_temp.get(), abort);
    } else {
      remove_retrying(target_.get_ptr(), abort, remove_timeout_seconds);
      target_removed = true;
      move_retrying(temp_path_.get_ptr(), target_.get_ptr(), abort);
    }
  } catch (...) {
    // Once the target is gone the temporary file is the only copy of the
    // user's file: it stays beside the target's name.
    if (target_removed) temp_path_.set_string("");
    else discard_temp();
    throw;
  }
  temp_path_.set_string("");
  // The new file is in place: a cancellation now would report as undone a
  // rewrite that is done, so the reopening does not stop for it.
  open(file, target_.get_ptr(), open_mode::write_existing, never_raised_abort_signal());
}

void retag_through_temp_file::discard_temp() noexcept {
  temp_file_.reset();
  if (temp_path_.is_empty()) return;
  try {
    qiv::string_buffer native;
    if (file_scheme_handler().claims_path(temp_path_.get_ptr())) {
      win32_path(temp_path_.get_ptr(), native);
      const text_or_resource_id wide(native.get_ptr());
      // It may carry the target's read-only attribute from a failed attempt.
      SetFileAttributesW(wide.get(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(wide.get());
    } else {
      remove(temp_path_.get_ptr(), never_raised_abort_signal());
    }
  } catch (const std::exception&) {
    // Nothing more can be done for a leftover; the next rewrite of the same
    // target reuses its name.
  }
  temp_path_.set_string("");
}
