// Helpers shared by the file layer's tests. Whole-file reads and writes go
// through Win32 directly, so that the code under test never checks itself.
#pragma once

#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "core/abort_signal.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/string_buffer.h"
#include "foundation/text_or_resource_id.h"
#include "foundation/win32_text.h"
#include "io/file_object.h"
#include "io/file_scheme.h"
#include "io/io_exceptions.h"
#include "io/memory_file.h"
#include "io/retag_through_temp_file.h"
#include "tests/support/no_abort.h"

namespace io_test {

// Builds the service table as start-up does; referring to the "file://"
// handler keeps it linked into test programs.
inline void build_registry() {
  vantrel_io::file_scheme_handler();
  static const bool built = [] {
    service_registry::table().build(service_factory::global_list_head);
    return true;
  }();
  (void)built;
}

using test_support::no_abort;

// Bytes that differ from their neighbours: a shifted or repeated block shows.
inline std::string pattern(std::size_t length, unsigned seed = 0) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i + seed) * 131 + i / 251);
  return bytes;
}

// Up to `bytes` from the file's position.
inline std::string read_text(vantrel_io::file_object& file, std::uint32_t bytes) {
  std::string text(bytes, '\0');
  text.resize(file.read(text.data(), bytes, no_abort()));
  return text;
}

inline std::string read_all(vantrel_io::file_object& file) {
  file.seek(0, no_abort());
  return read_text(file, static_cast<std::uint32_t>(file.get_size(no_abort())));
}

// A memory file holding `content`, at its start.
inline vantrel_io::file_ptr memory_file_with(const std::string& content) {
  vantrel_io::file_ptr file = vantrel_io::make_memory_file();
  if (!content.empty()) file->write(content.data(), static_cast<std::uint32_t>(content.size()), no_abort());
  file->seek(0, no_abort());
  return file;
}

// Hands out an in-memory temporary file for the test to read.
class memory_rewrite final : public retag_temp_source {
public:
  bool open_temp(vantrel_io::file_ptr& out, const abort_signal&) override {
    made = vantrel_io::make_memory_file();
    out = made;
    return true;
  }
  vantrel_io::file_ptr made;
};

// How an operation failed, "" when it did not.
template <typename Operation>
std::string failure_of(Operation&& operation) {
  using namespace vantrel_io;
  try {
    operation();
    return "";
  } catch (const exception_io_not_found&) { return "not found";
  } catch (const exception_io_denied&) { return "denied";
  } catch (const exception_io_no_handler_for_path&) { return "invalid path";
  } catch (const exception_io&) { return "io";
  } catch (const std::exception& e) { return e.what();
  }
}

inline std::wstring wide(const std::string& text) { return text_or_resource_id(text.c_str()).get(); }

inline std::string utf8(const std::wstring& text) {
  qiv::string_buffer result;
  wide_to_utf8(text.c_str(), result);
  return result.get_ptr();
}

// The system's temporary folder, ending in a backslash.
inline std::string temp_folder() {
  wchar_t folder[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, folder);
  return utf8(folder);
}

// How many names match a pattern such as "C:\\folder\\temp-*.tmp".
inline int count_matching(const std::string& pattern) {
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW(wide(pattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do ++count;
  while (FindNextFileW(find, &data));
  FindClose(find);
  return count;
}

inline bool exists(const std::string& path) { return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

inline void write_file(const std::string& path, const std::string& content) {
  const HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + path);
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
}

inline std::string read_file(const std::string& path) {
  const HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
  std::string content;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
  CloseHandle(file);
  return content;
}

// Opens an existing file as another program that shares nothing (or only
// `sharing`) would.
inline HANDLE hold_file(const std::string& path, DWORD sharing = 0) {
  return CreateFileW(wide(path).c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, nullptr);
}

inline void remove_tree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
  for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &data)) {
    const std::wstring name = data.cFileName, child = path + L"\\" + name;
    if (name == L"." || name == L"..") continue;
    SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) remove_tree(child);
    else DeleteFileW(child.c_str());
  }
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  RemoveDirectoryW(path.c_str());
}

// A new empty folder in the temporary folder, removed with its content at the
// end. Paths are native Windows paths in UTF-8; file_url() adds the scheme.
class scratch_folder {
public:
  scratch_folder() {
    static LONG counter = 0;
    do wide_path_ = wide(temp_folder()) + L"zorv-io-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                    std::to_wstring(InterlockedIncrement(&counter));
    while (!CreateDirectoryW(wide_path_.c_str(), nullptr));
    path_ = utf8(wide_path_);
  }
  // The long form reaches names past the old path limit too.
  ~scratch_folder() { remove_tree(L"\\\\?\\" + wide_path_); }
  scratch_folder(const scratch_folder&) = delete;
  scratch_folder& operator=(const scratch_folder&) = delete;

  // The native path of a name inside the folder (or of the folder itself).
  std::string path(const std::string& name = "") const { return name.empty() ? path_ : path_ + "\\" + name; }
  std::string file_url(const std::string& name = "") const { return "file://" + path(name); }

private:
  std::wstring wide_path_;
  std::string path_;
};

}  // namespace io_test
