#include "io/safe_save.h"

#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "io/native_file.h"
#include "io/native_operations.h"

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
  if (!FlushFileBuffers(handle)) throw_last_io_error();
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
      native_move_replace(temporary.get_ptr(), target);
      return;
    } catch (const exception_io_sharing_violation&) {
      // Reporting success here would make the caller believe its data was
      // saved while the target still holds the old content.
      if (attempt == move_attempts) {
        remove_quietly(temporary.get_ptr());
        throw;
      }
    } catch (...) {
      remove_quietly(temporary.get_ptr());
      throw;
    }
    Sleep(move_retry_ms);
  }
}

}  // namespace vantrel_io
