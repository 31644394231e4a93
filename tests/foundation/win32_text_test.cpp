#include "foundation/win32_text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

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

TEST(PathSearch, FindsFilesAndLeavesTheOutputAloneWhenNot) {
  qiv::string_buffer found;
  ASSERT_TRUE(search_path_utf8("kernel32.dll", found));
  const std::wstring path = wide(found.get_ptr());
  EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(_wcsicmp(path.substr(path.size() - 13).c_str(), L"\\kernel32.dll"), 0);

  found.set_string("unchanged");
  EXPECT_FALSE(search_path_utf8("zorv-no-such-file.dll", found));
  EXPECT_STREQ(found.get_ptr(), "unchanged");
}

TEST(PathSearch, PathLongerThanTheFirstBufferIsReadWhole) {
  deep_folder folder(1500);
  const std::wstring file = folder.add_file(L"found.txt");
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  CloseHandle(handle);

  std::string utf8_path(file.begin(), file.end());  // the folder names are ASCII
  qiv::string_buffer found;
  ASSERT_TRUE(search_path_utf8(utf8_path.c_str(), found));
  EXPECT_STREQ(found.get_ptr(), utf8_path.c_str());
}

TEST(TempFiles, TempPathNamesAnExistingFolder) {
  qiv::string_buffer path;
  ASSERT_TRUE(get_temp_path_utf8(path));
  ASSERT_FALSE(path.is_empty());
  EXPECT_EQ(path.get_ptr()[path.get_length() - 1], '\\');
  const DWORD attributes = get_file_attributes_utf8(path.get_ptr());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST(TempFiles, TempFileIsCreatedInTheFolderWithThePrefix) {
  qiv::string_buffer folder;
  ASSERT_TRUE(get_temp_path_utf8(folder));
  qiv::string_buffer name;
  ASSERT_TRUE(get_temp_file_name_utf8(folder.get_ptr(), "zv\xC3\xA9", 0, name));  // "zvé"
  const std::string text = name.get_ptr();
  EXPECT_EQ(text.rfind(std::string(folder.get_ptr()) + "zv\xC3\xA9", 0), 0u) << text;
  EXPECT_NE(get_file_attributes_utf8(name.get_ptr()), INVALID_FILE_ATTRIBUTES);
  DeleteFileW(wide(name.get_ptr()).c_str());
}

TEST(TempFiles, MissingFolderOrPrefixIsRefused) {
  qiv::string_buffer name("unchanged");
  EXPECT_FALSE(get_temp_file_name_utf8(nullptr, "zv", 1, name));
  EXPECT_FALSE(get_temp_file_name_utf8("C:\\", nullptr, 1, name));
  EXPECT_STREQ(name.get_ptr(), "unchanged");
}

TEST(KeyNames, KeyDataGivesTheKeyName) {
  qiv::string_buffer name;
  // Scan code 0x1E in bits 16-23: the A key.
  ASSERT_TRUE(get_key_name_text_utf8(0x1E << 16, name));
  EXPECT_STREQ(name.get_ptr(), "A");
}

} // namespace
