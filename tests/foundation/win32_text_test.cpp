// Win32 calls that hand text and paths back in UTF-8.
#include "foundation/win32_text.h"

#include <windows.h>
#include <process.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/string_buffer.h"

namespace {

std::wstring wide(const char* text) { return std::filesystem::u8path(text).wstring(); }

std::wstring module_path_read_whole() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

// A chain of folders under the temporary folder whose path exceeds
// `min_units`, removed at the end with the one file a test puts there.
struct deep_folder {
  explicit deep_folder(std::size_t min_units) {
    wchar_t temp[MAX_PATH + 1];
    const std::wstring temp_path(temp, GetTempPathW(MAX_PATH + 1, temp));
    folders.push_back(temp_path + L"zorv-deep-" + std::to_wstring(GetCurrentProcessId()));
    CreateDirectoryW(folders.back().c_str(), nullptr);
    while (folders.back().size() < min_units) {
      folders.push_back(folders.back() + L"\\" + std::wstring(200, L'd'));
      CreateDirectoryW(folders.back().c_str(), nullptr);
    }
  }
  ~deep_folder() {
    DeleteFileW(file.c_str());
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) RemoveDirectoryW(folder->c_str());
  }
  const std::wstring& path() const { return folders.back(); }
  std::wstring file;
  std::vector<std::wstring> folders;
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
  const std::wstring& copy = folder.file = folder.path() + L"\\" + std::wstring(name_units - 4, L'm') + L".exe";
  ASSERT_EQ(copy.size(), wanted);
  ASSERT_TRUE(CopyFileW(module_path_read_whole().c_str(), copy.c_str(), FALSE));

  const intptr_t exit_code =
      _wspawnl(_P_WAIT, copy.c_str(), L"copy", L"--gtest_filter=ModuleFileName.MatchesThePathReadWithALargeBuffer", nullptr);
  EXPECT_EQ(exit_code, 0) << "the copy read a different path than the system reports";
}

TEST(PathSearch, FindsAPathLongerThanTheFirstBufferAndLeavesTheOutputAloneWhenNot) {
  deep_folder folder(1500);
  const std::wstring& file = folder.file = folder.path() + L"\\found.txt";
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  CloseHandle(handle);
  std::string utf8_path(file.begin(), file.end());  // the folder names are ASCII
  qiv::string_buffer found;
  ASSERT_TRUE(search_path_utf8(utf8_path.c_str(), found));
  EXPECT_STREQ(found.get_ptr(), utf8_path.c_str());
  found.set_string("unchanged");
  EXPECT_FALSE(search_path_utf8("zorv-no-such-file.dll", found));
  EXPECT_STREQ(found.get_ptr(), "unchanged");
}

// The temp path and temp files in use are driven through the temp schemes of io.
TEST(SystemFolders, ARefusedTempNameKeepsTheOutput) {
  qiv::string_buffer name("unchanged");
  EXPECT_FALSE(get_temp_file_name_utf8(nullptr, "zv", 1, name));
  EXPECT_FALSE(get_temp_file_name_utf8("C:\\", nullptr, 1, name));
  EXPECT_STREQ(name.get_ptr(), "unchanged");
}

} // namespace
