#include "foundation/win32_text.h"

#include <shellapi.h>

#include <memory>

#include "foundation/text_or_resource_id.h"
#include "foundation/utf8.h"
#include "foundation/win32_error.h"

void wide_to_utf8(const wchar_t* units, std::size_t count, qiv::string_object& output) {
  const std::size_t bytes = qiv::estimate_wide_to_utf8(units, count);
  std::unique_ptr<char[]> buffer(new char[bytes]);
  qiv::convert_wide_to_utf8(buffer.get(), bytes, units, count);
  output.set_string(buffer.get());
}

void wide_to_utf8(const wchar_t* text, qiv::string_object& output) {
  wide_to_utf8(text, qiv::wide_strlen(text), output);
}

void output_debug_string_utf8(const char* text) { OutputDebugStringW(text_or_resource_id(text).get()); }

int message_box_utf8(HWND owner, const char* text, const char* caption, UINT flags) {
  return MessageBoxW(owner, text_or_resource_id(text).get(), text_or_resource_id(caption).get(), flags);
}

std::size_t get_module_file_name_utf8(qiv::string_object& output) {
  // Paths may be longer than MAX_PATH: grow until the result no longer fills the buffer.
  for (DWORD size = 256;; size *= 2) {
    std::unique_ptr<wchar_t[]> buffer(new wchar_t[size]);
    const DWORD length = GetModuleFileNameW(nullptr, buffer.get(), size);
    if (length == 0) return 0;
    if (length < size) {
      wide_to_utf8(buffer.get(), length, output);
      return output.get_length();
    }
  }
}

void get_command_line_utf8(qiv::string_object& output) { wide_to_utf8(GetCommandLineW(), output); }

bool get_current_directory_utf8(qiv::string_object& output) {
  DWORD length = GetCurrentDirectoryW(0, nullptr);
  if (length == 0) length = MAX_PATH;
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[length + 1]);
  const DWORD written = GetCurrentDirectoryW(length + 1, buffer.get());
  if (written == 0 || written > length) return false;
  wide_to_utf8(buffer.get(), written, output);
  return true;
}

bool set_current_directory_utf8(const char* path) {
  return SetCurrentDirectoryW(text_or_resource_id(path).get()) != 0;
}

bool get_appdata_folder_utf8(qiv::string_object& output) {
  const DWORD length = GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
  if (length == 0) return false;
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[length + 1]);
  const DWORD written = GetEnvironmentVariableW(L"APPDATA", buffer.get(), length + 1);
  if (written == 0 || written > length) return false;
  wide_to_utf8(buffer.get(), written, output);
  return true;
}

DWORD get_file_attributes_utf8(const char* path) {
  return GetFileAttributesW(text_or_resource_id(path).get());
}

HANDLE create_file_utf8(const char* path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags) {
  return CreateFileW(text_or_resource_id(path).get(), access, sharing, nullptr, disposition, flags, nullptr);
}

bool create_directory_utf8(const char* path) {
  return CreateDirectoryW(text_or_resource_id(path).get(), nullptr) != 0;
}

DWORD get_long_path_name_utf8(const char* path, qiv::string_object& output) {
  constexpr DWORD capacity = 4096;
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[capacity]);
  const DWORD length = GetLongPathNameW(text_or_resource_id(path).get(), buffer.get(), capacity);
  if (length != 0 && length < capacity) wide_to_utf8(buffer.get(), length, output);
  return length < capacity ? length : 0;
}

DWORD get_full_path_name_utf8(const char* path, qiv::string_object& output) {
  constexpr DWORD capacity = 4096;
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[capacity]);
  const DWORD length = GetFullPathNameW(text_or_resource_id(path).get(), capacity, buffer.get(), nullptr);
  if (length != 0 && length < capacity) wide_to_utf8(buffer.get(), length, output);
  return length < capacity ? length : 0;
}

bool search_path_utf8(const char* file_name, qiv::string_object& output) {
  const text_or_resource_id name(file_name);
  DWORD capacity = 1024;
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[capacity]);
  DWORD length = SearchPathW(nullptr, name.get(), nullptr, capacity, buffer.get(), nullptr);
  if (length >= capacity) {
    // The report is the size needed, terminator included. Asked once more:
    // a path that keeps growing between the calls is not chased.
    capacity = length;
    buffer.reset(new wchar_t[capacity]);
    length = SearchPathW(nullptr, name.get(), nullptr, capacity, buffer.get(), nullptr);
    if (length >= capacity) return false;
  }
  if (length == 0) return false;
  wide_to_utf8(buffer.get(), length, output);
  return true;
}

bool get_temp_path_utf8(qiv::string_object& output) {
  constexpr DWORD capacity = MAX_PATH + 1;
  wchar_t buffer[capacity];
  const DWORD length = GetTempPathW(capacity, buffer);
  // A longer path does not fit and the buffer was not filled.
  if (length == 0 || length >= capacity) return false;
  wide_to_utf8(buffer, length, output);
  return true;
}

bool get_temp_file_name_utf8(const char* folder, const char* prefix, UINT unique, qiv::string_object& output) {
  if (folder == nullptr || prefix == nullptr) return false;
  wchar_t buffer[MAX_PATH + 1];
  const text_or_resource_id wide_folder(folder);
  const text_or_resource_id wide_prefix(prefix);
  if (GetTempFileNameW(wide_folder.get(), wide_prefix.get(), unique, buffer) == 0) return false;
  wide_to_utf8(buffer, output);
  return true;
}

bool get_key_name_text_utf8(LONG key_data, qiv::string_object& output) {
  wchar_t buffer[256];
  const int length = GetKeyNameTextW(key_data, buffer, 256);
  if (length <= 0) return false;
  wide_to_utf8(buffer, static_cast<std::size_t>(length), output);
  return true;
}

HINSTANCE shell_execute_utf8(HWND window, const char* verb, const char* file) {
  const text_or_resource_id wide_verb(verb);
  const text_or_resource_id wide_file(file);
  return ShellExecuteW(window, wide_verb.get(), wide_file.get(), nullptr, nullptr, SW_SHOW);
}

void throw_last_win32_error() { throw exception_win32(GetLastError()); }
