#include "foundation/find_file_enum.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"

namespace {

std::wstring wide(const std::string& text) {
  std::wstring result(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, result.data(), static_cast<int>(result.size()));
  result.pop_back();
  return result;
}

constexpr const char* accented_name = "Cha\xC3\xAEne \xF0\x9F\x8E\xB5.flac";  // "Chaîne 🎵.flac"
constexpr std::uint64_t large_size = 5ull << 30;                          // above 32 bits
constexpr std::uint64_t known_write_time = 0x01D5F00DDEADBEEFull;

// A folder holding a sparse file larger than 4 GiB with a known write time,
// a small file and a subfolder.
class FindFileEnum : public ::testing::Test {
protected:
  void SetUp() override {
    qiv::string_buffer temp;
    ASSERT_TRUE(get_temp_path_utf8(temp));
    folder = std::string(temp.get_ptr()) + "zorv-find-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(create_directory_utf8(folder.c_str()));
    ASSERT_TRUE(create_directory_utf8((folder + "\\Sub").c_str()));

    HANDLE file = create_file_utf8((folder + "\\" + accented_name).c_str(), GENERIC_WRITE, 0, CREATE_NEW, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(large_size);
    SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    FILETIME time = {static_cast<DWORD>(known_write_time), static_cast<DWORD>(known_write_time >> 32)};
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);

    file = create_file_utf8((folder + "\\small.txt").c_str(), GENERIC_WRITE, 0, CREATE_NEW, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written;
    WriteFile(file, "12345", 5, &written, nullptr);
    CloseHandle(file);
  }
  void TearDown() override {
    DeleteFileW(wide(folder + "\\" + accented_name).c_str());
    DeleteFileW(wide(folder + "\\small.txt").c_str());
    RemoveDirectoryW(wide(folder + "\\Sub").c_str());
    RemoveDirectoryW(wide(folder).c_str());
  }

  std::string folder;
};

TEST_F(FindFileEnum, ListsEveryEntryWithItsNameSizeAndAttributes) {
  auto entries = find_file_enum::create((folder + "\\*").c_str());
  ASSERT_NE(entries, nullptr);
  std::map<std::string, std::pair<std::uint64_t, DWORD>> seen;
  qiv::string_buffer name;
  do {
    entries->name(name);
    seen[name.get_ptr()] = {entries->size(), entries->attributes()};
  } while (entries->next());
  // Once at the end it stays there.
  EXPECT_FALSE(entries->next());

  seen.erase(".");
  seen.erase("..");
  ASSERT_EQ(seen.size(), 3u);
  ASSERT_EQ(seen.count(accented_name), 1u);
  EXPECT_EQ(seen[accented_name].first, large_size);
  EXPECT_EQ(seen[accented_name].second & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(seen["small.txt"].first, 5u);
  EXPECT_NE(seen["Sub"].second & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST_F(FindFileEnum, FileTimesAreWholeSixtyFourBitValues) {
  auto entries = find_file_enum::create((folder + "\\" + accented_name).c_str());
  ASSERT_NE(entries, nullptr);
  EXPECT_EQ(entries->last_write_time(), known_write_time);
  EXPECT_NE(entries->creation_time(), 0u);
  EXPECT_NE(entries->last_access_time(), 0u);
  EXPECT_FALSE(entries->next());
}

TEST_F(FindFileEnum, PatternWithoutMatchesGivesNoEnumeration) {
  EXPECT_EQ(find_file_enum::create((folder + "\\*.mp3").c_str()), nullptr);
  EXPECT_EQ(find_file_enum::create((folder + "\\missing\\*").c_str()), nullptr);
}

TEST(FindFileEnumUnopened, NeverOpenedEnumerationHasNoNextEntry) {
  find_file_enum entries;
  EXPECT_FALSE(entries.next());
}

} // namespace
