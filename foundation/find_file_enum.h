// A directory enumeration (FindFirstFileW / FindNextFileW) with UTF-8 names.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "foundation/string_object.h"

class find_file_enum {
public:
  // An enumeration positioned on the first entry matching `pattern` (a path
  // whose last component may hold wildcards), or null when there is none or
  // the folder cannot be read.
  static std::unique_ptr<find_file_enum> create(const char* pattern);

  find_file_enum() noexcept = default;
  ~find_file_enum();
  find_file_enum(const find_file_enum&) = delete;
  find_file_enum& operator=(const find_file_enum&) = delete;

  // Moves to the next entry; false at the end, or when never opened.
  bool next();

  // The current entry.
  void name(qiv::string_object& output) const;
  std::uint64_t size() const;
  DWORD attributes() const { return data_.dwFileAttributes; }
  std::uint64_t creation_time() const;
  std::uint64_t last_access_time() const;
  std::uint64_t last_write_time() const;

private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW data_ = {};
};
