#include "foundation/win32_text.h"

#include <shellapi.h>

#include <cstdint>
#include <memory>

#include "foundation/string_small.h"
#include "foundation/utf8.h"
#include "foundation/win32_error.h"

namespace {

// A UTF-16 copy of a UTF-8 argument for the length of one call. A null text
// stays null, and so does a small integer (a resource id) passed in its place.
class wide_argument {
public:
  explicit wide_argument(const char* text) {
    if (text == nullptr) return;
    if ((reinterpret_cast<std::uintptr_t>(text) >> 16) == 0) {
      resource_id_ = reinterpret_cast<const wchar_t*>(text);
      return;
    }
    const std::size_t units = qiv::estimate_utf8_to_wide(text);
    storage_.reset(new wchar_t[units]);
    qiv::convert_utf8_to_wide(storage_.get(), units, text, static_cast<std::size_t>(-1));
  }
  const wchar_t* get() const { return storage_ ? storage_.get() : resource_id_; }

private:
  std::unique_ptr<wchar_t[]> storage_;
  const wchar_t* resource_id_ = nullptr;
};

}  // namespace

void wide_to_utf8(const wchar_t* units, std::size_t count, qiv::string_object& output) {
  const std::size_t bytes = qiv::estimate_wide_to_utf8(units, count);
  std::unique_ptr<char[]> buffer(new char[bytes]);
  qiv::convert_wide_to_utf8(buffer.get(), bytes, units, count);
  output.set_string(buffer.get());
}

void wide_to_utf8(const wchar_t* text, qiv::string_object& output) {
  wide_to_utf8(text, qiv::wide_strlen(text), output);
}

void output_debug_string_utf8(const char* text) { OutputDebugStringW(wide_argument(text).get()); }

int message_box_utf8(HWND owner, const char* text, const char* caption, UINT flags) {
  return MessageBoxW(owner, wide_argument(text).get(), wide_argument(caption).get(), flags);
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

bool set_current_directory_utf8(const char* path) { return SetCurrentDirectoryW(wide_argument(path).get()) != 0; }

bool get_appdata_folder_utf8(qiv::string_object& output) {
  const DWORD length = GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
  if (length == 0) return false;
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[length + 1]);
  const DWORD written = GetEnvironmentVariableW(L"APPDATA", buffer.get(), length + 1);
  if (written == 0 || written > length) return false;
  wide_to_utf8(buffer.get(), written, output);
  return true;
}

DWORD get_file_attributes_utf8(const char* path) { return GetFileAttributesW(wide_argument(path).get()); }

HANDLE create_file_utf8(const char* path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags) {
  return CreateFileW(wide_argument(path).get(), access, sharing, nullptr, disposition, flags, nullptr);
}

bool create_directory_utf8(const char* path) { return CreateDirectoryW(wide_argument(path).get(), nullptr) != 0; }

DWORD get_long_path_name_utf8(const char* path, qiv::string_object& output) {
  constexpr DWORD capacity = 4096;
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[capacity]);
  const DWORD length = GetLongPathNameW(wide_argument(path).get(), buffer.get(), capacity);
  if (length != 0 && length < capacity) wide_to_utf8(buffer.get(), length, output);
  return length < capacity ? length : 0;
}

DWORD get_full_path_name_utf8(const char* path, qiv::string_object& output) {
  constexpr DWORD capacity = 4096;
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[capacity]);
  const DWORD length = GetFullPathNameW(wide_argument(path).get(), capacity, buffer.get(), nullptr);
  if (length != 0 && length < capacity) wide_to_utf8(buffer.get(), length, output);
  return length < capacity ? length : 0;
}

HINSTANCE shell_execute_utf8(HWND window, const char* verb, const char* file) {
  return ShellExecuteW(window, wide_argument(verb).get(), wide_argument(file).get(), nullptr, nullptr, SW_SHOW);
}

void throw_last_win32_error() { throw exception_win32(GetLastError()); }
