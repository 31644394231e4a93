#include "io/safe_save.h"

#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "io/native_file.h"
#include "io/native_operations.h"
#include "io/test_write_faults.h"

namespace vantrel_io {

namespace {

constexpr int move_attempts = 20;
constexpr DWORD move_retry_ms = 50;

void remove_quietly(const char* path) noexcept {
  try {
    native_remove(path);
  } catch (...) {
    // The failure being reported matters more than a stray ".tmp".
  }
}

// Writes the content and puts it on the disk: after a power loss the move
// must not be able to leave a target whose data never got written.
void write_temporary(const char* path, const save_content_writer& write_content, const abort_signal& abort) {
  const HANDLE handle = open_native_handle(path, open_mode::write_new);
  const file_ptr file = make_native_file(handle, true);
  write_content(*file, abort);
  fail_if_test_write_fault();
  if (!FlushFileBuffers(handle)) throw_last_io_error();
}

bool is_writable_file(const char* path) {
  const DWORD attributes = native_get_attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

// Called inside a catch block: whether the failed replace may pass once
// another program lets go of the target. Some systems refuse the replace of a
// file held open by a backup, sync or indexing tool (or one pending deletion)
// with "access denied" instead of a sharing violation; on a target that
// exists and may be written, that is the same passing condition.
bool replace_refusal_may_pass(const char* target) {
  try {
    throw;
  } catch (const exception_io_sharing_violation&) {
    return true;
  } catch (const exception_io_write_protected&) {
    return false;
  } catch (const exception_io_denied&) {
    return is_writable_file(target);
  } catch (...) {
    return false;
  }
}

}  // namespace

void write_file_via_temp(const char* target, const save_content_writer& write_content, const abort_signal& abort) {
  const DWORD attributes = native_get_attributes(target);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
      (attributes & FILE_ATTRIBUTE_READONLY) != 0)
    throw qiv::exception_with_message("file exists and is read-only");

  qiv::string_buffer temporary(target);
  temporary.add_string(".tmp");
  try {
    write_temporary(temporary.get_ptr(), write_content, abort);
  } catch (...) {
    remove_quietly(temporary.get_ptr());
    throw;
  }

  for (int attempt = 1;; ++attempt) {
    try {
      fail_if_test_write_fault();
      native_move_replace(temporary.get_ptr(), target);
      return;
    } catch (...) {
      // Reporting success after the last attempt would make the caller
      // believe its data was saved while the target still holds the old
      // content; callers retry a sharing violation later.
      const bool may_pass = replace_refusal_may_pass(target);
      if (!may_pass || attempt == move_attempts) {
        remove_quietly(temporary.get_ptr());
        if (may_pass) throw exception_io_sharing_violation();
        throw;
      }
    }
    Sleep(move_retry_ms);
  }
}

}  // namespace vantrel_io
