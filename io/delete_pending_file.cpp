#include "io/delete_pending_file.h"

#include <cstring>
#include <vector>

#include "io/io_exceptions.h"
#include "io/native_file.h"
#include "io/read_ahead_file.h"
#include "io/test_write_faults.h"

namespace vantrel_io {

delete_pending_file::delete_pending_file(const wchar_t* path, bool synchronous) : synchronous_(synchronous) {
  // No sharing: while this file lives nobody else opens it, which is what
  // tells a live one from a leftover.
  handle_.reset(CreateFileW(path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                            synchronous ? 0 : FILE_FLAG_OVERLAPPED, nullptr));
  if (handle_.get() == INVALID_HANDLE_VALUE) throw_last_io_error();
  FILE_DISPOSITION_INFO disposition = {TRUE};
  if (!SetFileInformationByHandle(handle_.get(), FileDispositionInfo, &disposition, sizeof disposition)) {
    const DWORD error = GetLastError();
    // Not pending deletion, the file must go by name.
    handle_.reset();
    DeleteFileW(path);
    throw_exception_io_from_win32(error);
  }
}

file_ptr delete_pending_file::open_for_writing(const abort_signal& abort) {
  HANDLE writing = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle_.get(), GetCurrentProcess(), &writing, 0, FALSE,
                       DUPLICATE_SAME_ACCESS))
    throw_last_io_error();
  file_ptr buffered;
  buffered_file(buffered, make_native_file(writing, true, synchronous_), native_read_buffer, abort);
  return buffered;
}

void delete_pending_file::set_delete_pending(bool pending) {
  FILE_DISPOSITION_INFO disposition = {pending ? TRUE : FALSE};
  if (!SetFileInformationByHandle(handle_.get(), FileDispositionInfo, &disposition, sizeof disposition))
    throw_last_io_error();
}

void delete_pending_file::move_over(const wchar_t* target) {
  fail_if_test_write_fault();
  const std::size_t length = std::wcslen(target);
  std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + length * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(length * sizeof(wchar_t));
  std::memcpy(rename->FileName, target, length * sizeof(wchar_t));
  // A file pending deletion cannot be renamed. A kill between these two
  // steps leaves the file, for delete_if_unused.
  set_delete_pending(false);
  if (SetFileInformationByHandle(handle_.get(), FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) return;
  const DWORD error = GetLastError();
  try {
    set_delete_pending(true);
  } catch (const std::exception&) {
    // The rename's failure is the one to report; the file is then a
    // leftover that the next rewrite of the target removes.
  }
  throw_exception_io_from_win32(error);
}

file_ptr delete_pending_file::take_as_target(const abort_signal& abort) {
  // The writing left the system's file pointer at the end; a synchronous
  // file object starts from the pointer of a handle just opened.
  const LARGE_INTEGER start = {};
  if (!SetFilePointerEx(handle_.get(), start, nullptr, FILE_BEGIN)) throw_last_io_error();
  file_ptr buffered;
  buffered_file(buffered, native_file_opened(handle_.release(), open_mode::write_existing, synchronous_),
                native_read_buffer, abort);
  return buffered;
}

bool delete_if_unused(const wchar_t* path) noexcept {
  // Opening without sharing fails while any handle has the file open, and
  // a file pending deletion cannot be opened at all. A link is not followed:
  // only the name itself may go.
  win32_handle file(CreateFileW(path, DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return false;
  // What delete_pending_file makes is a plain file, never read-only.
  constexpr DWORD never_made = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY;
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file.get(), &information) || (information.dwFileAttributes & never_made) != 0)
    return false;
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

}  // namespace vantrel_io
