#include "io/native_operations.h"

#include <cstdint>
#include <cstring>

#include "foundation/actual_path_case.h"
#include "foundation/string_buffer.h"
#include "foundation/text_or_resource_id.h"
#include "foundation/utf8.h"
#include "foundation/win32_text.h"
#include "io/io_exceptions.h"
#include "io/native_file.h"

namespace vantrel_io {

namespace {

constexpr char long_prefix[] = "\\\\?\\";

// Holds the UTF-16 Win32 form of a path for the length of one call. Kept in
// a named local, so that freeing it cannot run between a failed call and
// its GetLastError.
class wide_win32_path {
public:
  explicit wide_win32_path(const char* path) : native_(win32_form(path)), wide_(native_.get_ptr()) {}
  const wchar_t* get() const { return wide_.get(); }

private:
  static qiv::string_buffer win32_form(const char* path) {
    qiv::string_buffer out;
    win32_path(path, out);
    return out;
  }
  qiv::string_buffer native_;
  text_or_resource_id wide_;
};

std::uint64_t to_u64(DWORD high, DWORD low) { return (std::uint64_t(high) << 32) | low; }

}  // namespace

bool native_canonicalize_path(const char* path, qiv::string_object& out, bool no_search) {
  if (!qiv::is_valid_utf8(path, SIZE_MAX)) return false;
  if (std::strncmp(path, "file:///", 8) == 0) {
    path += 8;
  } else if (std::strncmp(path, "file://", 7) == 0) {
    path += 7;
  } else if (std::strstr(path, "://") != nullptr) {
    return false;
  }
  qiv::string_buffer found(path);
  if (!no_search) {
    qiv::string_buffer long_form;
    win32_path(path, long_form);
    qiv::string_buffer searched;
    if (search_path_utf8(long_form.get_ptr(), searched) || search_path_utf8(path, searched)) found = searched;
    if (std::strncmp(found.get_ptr(), long_prefix, 4) == 0) found = qiv::string_buffer(found.get_ptr() + 4);
  }
  qiv::string_buffer cased;
  if (!get_actual_path_case(found.get_ptr(), cased)) return false;
  out.set_string("file://");
  out.add_string(cased.get_ptr());
  return true;
}

void native_get_stats(const char* path, file_stats& out, bool& writable) {
  const wide_win32_path wide(path);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(wide.get(), GetFileExInfoStandard, &data)) throw_last_io_error();
  out.size = to_u64(data.nFileSizeHigh, data.nFileSizeLow);
  out.timestamp = to_u64(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
  writable = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0;
}

DWORD native_get_attributes(const char* path) {
  if (!qiv::is_valid_utf8(path, SIZE_MAX)) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_FILE_ATTRIBUTES;
  }
  return GetFileAttributesW(wide_win32_path(path).get());
}

bool native_is_directory(const char* path) {
  const char* native = path;
  if (std::strncmp(native, "file://", 7) == 0) native += 7;
  const std::size_t length = std::strlen(native);
  if (length > 0 && native[length - 1] == '\\') return true;
  if (length == 2 && native[1] == ':') return true;
  const DWORD attributes = native_get_attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool native_file_exists(const char* path) {
  const DWORD attributes = native_get_attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void native_create_directory(const char* path) {
  const wide_win32_path wide(path);
  if (!CreateDirectoryW(wide.get(), nullptr)) throw_last_io_error();
}

namespace {

void move_with_flags(const char* from, const char* to, DWORD flags) {
  const wide_win32_path source(from);
  const wide_win32_path target(to);
  if (!MoveFileExW(source.get(), target.get(), flags)) throw_last_io_error();
}

}  // namespace

void native_move(const char* from, const char* to) { move_with_flags(from, to, MOVEFILE_COPY_ALLOWED); }

void native_move_replace(const char* from, const char* to) {
  move_with_flags(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
}

void native_remove(const char* path) {
  const wide_win32_path wide(path);
  const DWORD attributes = GetFileAttributesW(wide.get());
  if (attributes == INVALID_FILE_ATTRIBUTES) throw_last_io_error();
  const BOOL removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(wide.get()) : DeleteFileW(wide.get());
  if (!removed) throw_last_io_error();
}

}  // namespace vantrel_io
