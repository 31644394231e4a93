// Listing a native folder for the "file://" scheme.
#include <windows.h>

#include <cstring>

#include "foundation/string_buffer.h"
#include "foundation/text_or_resource_id.h"
#include "foundation/win32_text.h"
#include "io/io_exceptions.h"
#include "io/native_file.h"
#include "io/native_operations.h"

namespace vantrel_io {

namespace {

class find_handle {
public:
  explicit find_handle(HANDLE handle) : handle_(handle) {}
  ~find_handle() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  }
  find_handle(const find_handle&) = delete;
  find_handle& operator=(const find_handle&) = delete;
  HANDLE get() const { return handle_; }

private:
  HANDLE handle_;
};

// ".", ".." and the like name the folder itself or its parent.
bool is_self_or_parent(const char* name) {
  return name[0] != '\0' && std::strspn(name, ".\\/") == std::strlen(name);
}

}  // namespace

void native_list_directory(const char* path, directory_callback& callback, const abort_signal& abort) {
  if (std::strncmp(path, "file://", 7) != 0) throw_io();
  abort.check_and_throw();

  qiv::string_buffer folder(path);
  if (folder.get_length() == 0 || folder.get_ptr()[folder.get_length() - 1] != '\\') folder.add_string("\\");
  qiv::string_buffer pattern(folder);
  pattern.add_string("*.*");
  qiv::string_buffer native_pattern;
  win32_path(pattern.get_ptr(), native_pattern);
  const text_or_resource_id wide_pattern(native_pattern.get_ptr());

  WIN32_FIND_DATAW data;
  const find_handle find(FindFirstFileW(wide_pattern.get(), &data));
  if (find.get() == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_DIRECTORY) throw_io_not_found();
    if (error == ERROR_FILE_NOT_FOUND) {
      // A folder without entries answers like a missing one; asking the
      // disk tells them apart (the path's form alone cannot).
      const DWORD attributes = native_get_attributes(path);
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return;
      throw_io_not_found();
    }
    throw_exception_io_from_win32(error);
  }

  qiv::string_buffer name;
  qiv::string_buffer entry_path;
  do {
    wide_to_utf8(data.cFileName, name);
    const bool is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (is_directory && is_self_or_parent(name.get_ptr())) continue;
    entry_path = folder;
    entry_path.add_string(name.get_ptr());
    file_stats stats;
    if (!is_directory) {
      stats.size = (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      stats.timestamp = (std::uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    }
    if (!callback.on_entry(entry_path.get_ptr(), is_directory, stats, abort)) return;
  } while (FindNextFileW(find.get(), &data));
  // Anything but the end of the list (a network drop, a device error) means
  // the listing is incomplete, which must not pass for a whole folder.
  const DWORD error = GetLastError();
  if (error != ERROR_NO_MORE_FILES) throw_exception_io_from_win32(error);
}

}  // namespace vantrel_io
