// One folder's entries as the navigation lists them: names starting with '.'
// and hidden entries are passed over.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct dir_entry {
  // Valid only during the visit.
  std::wstring_view name;
  std::uint32_t attributes;
  bool is_folder() const noexcept { return (attributes & 0x10) != 0; }  // FILE_ATTRIBUTE_DIRECTORY
};

// The path to open a folder at: a drive's top level ("X:") at its root, as
// "X:" alone names the drive's current folder.
std::wstring dir_open_path(const std::wstring& folder);

// Calls `visit` for every other entry in listing order. A folder with no
// entries at all is empty; a folder that cannot be opened or read throws
// exception_win32.
void dir_listing(const std::wstring& folder, const std::function<void(const dir_entry& entry)>& visit);
