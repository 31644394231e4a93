#include "core/profile_folder.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "core/app_exceptions.h"
#include "foundation/win32_text.h"

namespace {

constexpr char file_scheme[] = "file://";
constexpr std::size_t file_scheme_length = sizeof(file_scheme) - 1;

// The profile path as Win32 calls take it.
const char* native_profile_path(const app::process_state& s) {
  const char* path = s.profile_path.get_ptr();
  if (std::strncmp(path, file_scheme, file_scheme_length) == 0) path += file_scheme_length;
  return path;
}

bool application_data_folder(qiv::string_small& folder) {
  wchar_t buffer[MAX_PATH];
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
    wide_to_utf8(buffer, folder);
    return true;
  }
  return get_appdata_folder_utf8(folder);
}

void set_profile_path(app::process_state& s, const char* folder, const char* name) {
  s.profile_path.set_string(file_scheme);
  s.profile_path.add_c_str(folder);
  const std::size_t length = s.profile_path.get_length();
  if (length == 0 || s.profile_path.get_ptr()[length - 1] != '\\') s.profile_path.add_c_str("\\");
  s.profile_path.add_c_str(name);
}

}  // namespace

std::size_t program_folder_length(const char* path) {
  std::size_t end = 0;
  for (std::size_t i = 0; path[i] != '\0'; ++i) {
    const char c = path[i];
    if (c == '\\' || c == '/' || c == '|' || c == ':') end = i + 1;
  }
  return end;
}

void choose_profile_folder(app::process_state& s) {
  qiv::string_small folder;
  if (!s.portable_config && application_data_folder(folder)) {
    set_profile_path(s, folder.get_ptr(), "Zorv Audio Player");
  } else {
    set_profile_path(s, s.program_folder.get_ptr(), "zorv-configuration");
  }
}

void create_profile_folder(const app::process_state& s) {
  const char* path = native_profile_path(s);
  const DWORD attributes = get_file_attributes_utf8(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return;
  if (!create_directory_utf8(path)) throw exception_messagebox("Could not create profile directory");
}

bool profile_folder_is_read_only(const app::process_state& s) {
  const DWORD attributes = get_file_attributes_utf8(native_profile_path(s));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

void take_profile_lock(app::process_state& s) {
  if (s.profile_read_only) return;
  qiv::string_small lock_path(native_profile_path(s));
  lock_path.add_c_str("\\running");
  const HANDLE file = create_file_utf8(lock_path.get_ptr(), GENERIC_WRITE, 0, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE);
  if (file == INVALID_HANDLE_VALUE) throw exception_messagebox("Could not access profile folder");
  s.lock_file = file;
}

void release_profile_lock(app::process_state& s) {
  if (s.lock_file != INVALID_HANDLE_VALUE) CloseHandle(s.lock_file);
  s.lock_file = INVALID_HANDLE_VALUE;
}
