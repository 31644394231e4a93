// Win32 calls that hand text and paths back in UTF-8, and resources loaded from modules.
#include "foundation/win32_text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/resource_data.h"
#include "foundation/string_buffer.h"

namespace {

std::wstring wide(const char* text) {
  std::wstring result(MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, result.data(), static_cast<int>(result.size()));
  result.pop_back();
  return result;
}

std::wstring module_path_read_whole() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

std::wstring temp_folder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  return std::wstring(buffer, length);
}

// A chain of folders under the temporary folder whose full path exceeds
// `min_units`, removed again when the object ends.
class deep_folder {
public:
  explicit deep_folder(std::size_t min_units) {
    path_ = temp_folder() + L"zorv-deep-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(path_.c_str(), nullptr);
    folders_.push_back(path_);
    while (path_.size() < min_units) {
      path_ += L"\\" + std::wstring(200, L'd');
      CreateDirectoryW(path_.c_str(), nullptr);
      folders_.push_back(path_);
    }
  }
  ~deep_folder() {
    for (const std::wstring& file : files_) DeleteFileW(file.c_str());
    for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder) RemoveDirectoryW(folder->c_str());
  }
  const std::wstring& path() const { return path_; }
  std::wstring add_file(const std::wstring& name) {
    files_.push_back(path_ + L"\\" + name);
    return files_.back();
  }

private:
  std::wstring path_;
  std::vector<std::wstring> folders_;
  std::vector<std::wstring> files_;
};

TEST(ModuleFileName, MatchesThePathReadWithALargeBuffer) {
  qiv::string_buffer path;
  const std::size_t length = get_module_file_name_utf8(path);
  ASSERT_NE(length, 0u);
  EXPECT_EQ(length, path.get_length());
  EXPECT_EQ(wide(path.get_ptr()), module_path_read_whole());
}

// The program path is read through a buffer that starts at 256 units and
// doubles: a copy of this test program at a path a little longer than that
// (Windows still starts programs only from paths below MAX_PATH) runs the
// test above.
TEST(ModuleFileName, PathLongerThanTheFirstBufferIsReadWhole) {
  deep_folder folder(0);
  const std::size_t wanted = 258;
  const std::size_t name_units = wanted - folder.path().size() - 1;
  ASSERT_GT(name_units, 4u);
  const std::wstring copy = folder.add_file(std::wstring(name_units - 4, L'm') + L".exe");
  ASSERT_EQ(copy.size(), wanted);
  ASSERT_TRUE(CopyFileW(module_path_read_whole().c_str(), copy.c_str(), FALSE));

  std::wstring command = L"\"" + copy + L"\" --gtest_filter=ModuleFileName.MatchesThePathReadWithALargeBuffer";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessW(copy.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process))
      << GetLastError();
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD exit_code = 1;
  GetExitCodeProcess(process.hProcess, &exit_code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(exit_code, 0u) << "the copy read a different path than the system reports";
}

TEST(PathSearch, FindsAPathLongerThanTheFirstBufferAndLeavesTheOutputAloneWhenNot) {
  deep_folder folder(1500);
  const std::wstring file = folder.add_file(L"found.txt");
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  CloseHandle(handle);
  std::string utf8_path(file.begin(), file.end());  // the folder names are ASCII
  qiv::string_buffer found;
  ASSERT_TRUE(search_path_utf8(utf8_path.c_str(), found));
  EXPECT_STREQ(found.get_ptr(), utf8_path.c_str());
  ASSERT_TRUE(search_path_utf8("kernel32.dll", found));  // along the default search order
  const std::wstring system_file = wide(found.get_ptr());
  EXPECT_EQ(_wcsicmp(system_file.substr(system_file.size() - 13).c_str(), L"\\kernel32.dll"), 0);
  found.set_string("unchanged");
  EXPECT_FALSE(search_path_utf8("zorv-no-such-file.dll", found));
  EXPECT_STREQ(found.get_ptr(), "unchanged");
}

TEST(SystemFolders, TempPathAndTempFilesInIt) {
  qiv::string_buffer folder;
  ASSERT_TRUE(get_temp_path_utf8(folder));
  ASSERT_EQ(folder.get_ptr()[folder.get_length() - 1], '\\');
  EXPECT_NE(get_file_attributes_utf8(folder.get_ptr()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  qiv::string_buffer name;
  ASSERT_TRUE(get_temp_file_name_utf8(folder.get_ptr(), "zv\xC3\xA9", 0, name));  // "zvé"
  const std::string text = name.get_ptr();
  EXPECT_EQ(text.rfind(std::string(folder.get_ptr()) + "zv\xC3\xA9", 0), 0u) << text;
  EXPECT_TRUE(DeleteFileW(wide(name.get_ptr()).c_str()));  // it was created

  name.set_string("unchanged");
  EXPECT_FALSE(get_temp_file_name_utf8(nullptr, "zv", 1, name));
  EXPECT_FALSE(get_temp_file_name_utf8("C:\\", nullptr, 1, name));
  EXPECT_STREQ(name.get_ptr(), "unchanged");
}

// The system's own modules carry a version resource (id 1).
TEST(ResourceData, LoadsTheBytesOfAModulesResourceOrNothing) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const char* version_type = MAKEINTRESOURCEA(16);  // RT_VERSION
  auto version = load_resource_data(kernel, MAKEINTRESOURCEA(1), version_type);
  ASSERT_NE(version, nullptr);
  ASSERT_GE(version->size(), 6u + sizeof(L"VS_VERSION_INFO"));
  // A VS_VERSIONINFO block: its own length first, then its key after three words.
  const auto* bytes = static_cast<const unsigned char*>(version->data());
  EXPECT_LE(std::size_t(bytes[0] | (bytes[1] << 8)), version->size());
  EXPECT_EQ(std::memcmp(bytes + 6, L"VS_VERSION_INFO", sizeof(L"VS_VERSION_INFO")), 0);
  EXPECT_EQ(load_resource_data(kernel, MAKEINTRESOURCEA(0x7FFF), version_type), nullptr);
  EXPECT_EQ(load_resource_data(kernel, "ZORV_NO_SUCH_RESOURCE", "ZORV_NO_SUCH_TYPE"), nullptr);
}

} // namespace
