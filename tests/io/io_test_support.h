// Helpers shared by the file layer's tests: a scratch folder with UTF-8
// paths, whole-file reads and writes through Win32 directly (so that the
// code under test never checks itself), and the process registry.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/text_or_resource_id.h"
#include "foundation/win32_text.h"
#include "io/file_scheme.h"

namespace io_test {

// The handlers register themselves statically; the tests build the table the
// way start-up does. Referring to the "file://" handler keeps its
// registration in test programs, which link the layer as a plain library.
inline void build_registry() {
  vantrel_io::file_scheme_handler();
  static const bool built = [] {
    service_registry::table().build(service_factory::global_list_head);
    return true;
  }();
  (void)built;
}

inline std::wstring wide(const std::string& text) { return text_or_resource_id(text.c_str()).get(); }

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

inline void remove_tree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_tree(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

// A new empty folder in the temporary folder, removed with its content at the
// end. Paths are native Windows paths in UTF-8; file_url() adds the scheme.
class scratch_folder {
public:
  scratch_folder() {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    static LONG counter = 0;
    for (;;) {
      const std::wstring candidate = std::wstring(temp) + L"zorv-io-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                     std::to_wstring(InterlockedIncrement(&counter));
      if (CreateDirectoryW(candidate.c_str(), nullptr)) {
        wide_path_ = candidate;
        break;
      }
    }
    qiv_path_from_wide();
  }
  ~scratch_folder() { remove_tree(wide_path_); }
  scratch_folder(const scratch_folder&) = delete;
  scratch_folder& operator=(const scratch_folder&) = delete;

  // The native path of a name inside the folder (or of the folder itself).
  std::string path(const std::string& name = "") const { return name.empty() ? path_ : path_ + "\\" + name; }
  std::string file_url(const std::string& name = "") const { return "file://" + path(name); }

private:
  void qiv_path_from_wide() {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide_path_.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide_path_.c_str(), -1, text.data(), bytes, nullptr, nullptr);
    text.resize(bytes - 1);
    path_ = text;
  }

  std::wstring wide_path_;
  std::string path_;
};

}  // namespace io_test
