#include "foundation/actual_path_case.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "foundation/case_folding.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"

namespace {

std::string lower(const std::string& text) {
  qiv::string_buffer folded;
  qiv::string_add_lower(folded, text.c_str(), qiv::until_nul);
  return folded.get_ptr();
}

void make_folder(const std::string& path) { ASSERT_TRUE(create_directory_utf8(path.c_str())) << path; }

void make_file(const std::string& path) {
  HANDLE file = create_file_utf8(path.c_str(), GENERIC_WRITE, 0, CREATE_NEW, 0);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  CloseHandle(file);
}

// Removes a folder and everything in it.
void remove_tree(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_tree(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

std::wstring wide(const std::string& text) {
  std::wstring result(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, result.data(), static_cast<int>(result.size()));
  result.pop_back();
  return result;
}

std::string actual_case(const std::string& path) {
  qiv::string_buffer output;
  EXPECT_TRUE(get_actual_path_case(path.c_str(), output)) << path;
  return output.get_ptr();
}

// A fresh folder under the temporary folder holding folders and files of
// known letter case; `base` is its path as the file system spells it.
class ActualPathCase : public ::testing::Test {
protected:
  void SetUp() override {
    qiv::string_buffer temp;
    ASSERT_TRUE(get_temp_path_utf8(temp));
    std::string temp_path = temp.get_ptr();
    if (temp_path.back() == '\\') temp_path.pop_back();
    const std::string stored_temp = actual_case(temp_path);
    ASSERT_EQ(qiv::compare_nocase(stored_temp.c_str(), temp_path.c_str()), 0);
    base = stored_temp + "\\Zorv Case " + std::to_string(GetCurrentProcessId());
    make_folder(base);
    make_folder(base + "\\Program Files");
    make_folder(base + "\\Program Files\\Sub Dir");
    make_file(base + "\\Program Files\\Sub Dir\\Track One.MP3");
    make_file(base + "\\\xC3\x84rger \xC3\x9C" "ber.flac");  // "Ärger Über.flac"
  }
  void TearDown() override {
    if (!base.empty()) remove_tree(wide(base));
  }

  std::string base;
};

TEST_F(ActualPathCase, EveryComponentTakesItsStoredCase) {
  EXPECT_EQ(actual_case(lower(base) + "\\program files\\sub dir\\track one.mp3"),
            base + "\\Program Files\\Sub Dir\\Track One.MP3");
  EXPECT_EQ(actual_case(lower(base) + "\\PROGRAM FILES"), base + "\\Program Files");
}

TEST_F(ActualPathCase, NonAsciiNamesMatchIgnoringCase) {
  // "ärger über.FLAC"
  EXPECT_EQ(actual_case(base + "\\\xC3\xA4rger \xC3\xBC" "ber.FLAC"), base + "\\\xC3\x84rger \xC3\x9C" "ber.flac");
}

TEST_F(ActualPathCase, FromTheFirstMissingComponentThePathIsKeptAsGiven) {
  EXPECT_EQ(actual_case(lower(base) + "\\program files\\x.txt"), base + "\\Program Files\\x.txt");
  EXPECT_EQ(actual_case(lower(base) + "\\program files\\No Such\\sub dir\\track one.mp3"),
            base + "\\Program Files\\No Such\\sub dir\\track one.mp3");
  // A wildcard lists entries, but none is named like it.
  EXPECT_EQ(actual_case(lower(base) + "\\program*\\sub dir"), base + "\\program*\\sub dir");
}

TEST_F(ActualPathCase, SeparatorsAreKept) {
  EXPECT_EQ(actual_case(lower(base) + "\\program files\\"), base + "\\Program Files\\");
  // Nothing is looked up past a doubled separator, but nothing is dropped either.
  EXPECT_EQ(actual_case(lower(base) + "\\program files\\\\sub dir\\x"), base + "\\Program Files\\\\sub dir\\x");
}

TEST(ActualPathCaseDrive, DriveLetterBecomesUpperCase) {
  EXPECT_EQ(actual_case("c:\\"), "C:\\");
  EXPECT_EQ(actual_case("z:\\"), "Z:\\");
}

TEST(ActualPathCaseRefusal, RelativeAndMalformedPathsAreRefusedAndOutputKept) {
  for (const char* path : {"", "program files\\x.txt", "c:", "c:x.txt", "1:\\x", "\\x", "\\\\server",
                           "\\\\server\\", "\\\\server\\\\x", "\\\\server\\share\\\\x"}) {
    qiv::string_buffer output;
    output.set_string("unchanged");
    EXPECT_FALSE(get_actual_path_case(path, output)) << path;
    EXPECT_STREQ(output.get_ptr(), "unchanged") << path;
  }
}

TEST(ActualPathCaseUnc, ServerAndShareBecomeLowerCase) {
  EXPECT_EQ(actual_case("\\\\Server\\Share"), "\\\\server\\share");
  EXPECT_EQ(actual_case("\\\\Server\\Share\\"), "\\\\server\\share\\");
  // No such share here: the components stay as given.
  EXPECT_EQ(actual_case("\\\\Zorv-No-Server\\Share\\Music\\a.mp3"), "\\\\zorv-no-server\\share\\Music\\a.mp3");
}

// Wine serves "\\server\share" from the prefix's dosdevices\unc\server\share,
// which lets the components of a UNC path be looked up for real.
TEST(ActualPathCaseUnc, ComponentsBelowTheShareTakeTheirStoredCase) {
  const char* prefix = std::getenv("WINEPREFIX");
  if (!prefix || prefix[0] != '/') GTEST_SKIP() << "needs a UNC share (Wine's dosdevices\\unc)";
  std::string root = std::string("Z:") + prefix;
  for (char& c : root)
    if (c == '/') c = '\\';
  const std::string server = "zorv-case-" + std::to_string(GetCurrentProcessId());
  const std::string unc = root + "\\dosdevices\\unc";
  create_directory_utf8(unc.c_str());
  make_folder(unc + "\\" + server);
  make_folder(unc + "\\" + server + "\\share");
  make_folder(unc + "\\" + server + "\\share\\Music Folder");
  make_file(unc + "\\" + server + "\\share\\Music Folder\\Song.FLAC");

  const std::string upper_server = "ZORV-CASE-" + std::to_string(GetCurrentProcessId());
  EXPECT_EQ(actual_case("\\\\" + upper_server + "\\SHARE\\music folder\\song.flac\\x"),
            "\\\\" + server + "\\share\\Music Folder\\Song.FLAC\\x");
  remove_tree(wide(unc + "\\" + server));
}

} // namespace
