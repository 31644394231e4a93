// Win32 calls with UTF-8 text: arguments are converted to temporary UTF-16
// strings, results back into string objects. Failures are reported by the
// result (false, 0 or an invalid value) and leave the output unchanged.
// Text arguments may also be integer resource ids (text_or_resource_id.h).
#pragma once

#include <windows.h>

#include <cstddef>

#include "foundation/string_object.h"

// Sets `output` to the UTF-8 form of `count` units of `units` (up to a 0 unit).
void wide_to_utf8(const wchar_t* units, std::size_t count, qiv::string_object& output);
void wide_to_utf8(const wchar_t* text, qiv::string_object& output);

void output_debug_string_utf8(const char* text);
int message_box_utf8(HWND owner, const char* text, const char* caption, UINT flags);

// The executable's own path; answers its length, 0 on failure.
std::size_t get_module_file_name_utf8(qiv::string_object& output);
void get_command_line_utf8(qiv::string_object& output);
bool get_current_directory_utf8(qiv::string_object& output);
bool set_current_directory_utf8(const char* path);
// The "APPDATA" environment variable.
bool get_appdata_folder_utf8(qiv::string_object& output);

DWORD get_file_attributes_utf8(const char* path);
HANDLE create_file_utf8(const char* path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags);
bool create_directory_utf8(const char* path);
// Both answer the length the call reported, 0 on failure.
DWORD get_long_path_name_utf8(const char* path, qiv::string_object& output);
DWORD get_full_path_name_utf8(const char* path, qiv::string_object& output);

// The default search order of SearchPathW, no extension added.
bool search_path_utf8(const char* file_name, qiv::string_object& output);
bool get_temp_path_utf8(qiv::string_object& output);
// False when the folder or the prefix is null.
bool get_temp_file_name_utf8(const char* folder, const char* prefix, UINT unique, qiv::string_object& output);
// The name of a key, from the lparam of a keyboard message.
bool get_key_name_text_utf8(LONG key_data, qiv::string_object& output);

// ShellExecuteW with no parameters and no working folder, shown normally.
HINSTANCE shell_execute_utf8(HWND window, const char* verb, const char* file);

[[noreturn]] void throw_last_win32_error();
