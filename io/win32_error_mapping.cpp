// Win32 file errors become the I/O classes that callers decide on: a retry
// loop waits only on a sharing violation, the tag writers report a denied or
// write-protected file differently from a full disk.
#include <windows.h>

#include "io/io_exceptions.h"

namespace vantrel_io {

void throw_exception_io_from_win32(std::uint32_t code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:       // 2
    case ERROR_PATH_NOT_FOUND:       // 3
      throw exception_io_not_found();
    case ERROR_ACCESS_DENIED:        // 5
    case ERROR_NETWORK_ACCESS_DENIED:  // 65
      throw exception_io_denied();
    case ERROR_WRITE_PROTECT:        // 19
      throw exception_io_write_protected();
    case ERROR_CRC:                  // 23
    case ERROR_FILE_CORRUPT:         // 1392
    case ERROR_DISK_CORRUPT:         // 1393
      throw exception_io_file_corrupted();
    case ERROR_SHARING_VIOLATION:    // 32
    case ERROR_LOCK_VIOLATION:       // 33
    case ERROR_PATH_BUSY:            // 148
    case ERROR_BUSY:                 // 170
      throw exception_io_sharing_violation();
    case ERROR_HANDLE_DISK_FULL:     // 39
    case ERROR_DISK_FULL:            // 112
      throw exception_io_device_full();
    case ERROR_FILE_EXISTS:          // 80
    case ERROR_ALREADY_EXISTS:       // 183
      throw exception_io_already_exists();
    case ERROR_BUFFER_OVERFLOW:      // 111
      throw exception_io_name_too_long();
    case ERROR_DIR_NOT_EMPTY:        // 145
      throw exception_io_directory_not_empty();
    default:
      throw exception_io_win32_ex(code);
  }
}

void throw_last_io_error() { throw_exception_io_from_win32(GetLastError()); }

}  // namespace vantrel_io
