// Listing a folder, and spelling a path the way the file system stores it.
#include "foundation/actual_path_case.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "foundation/case_folding.h"
#include "foundation/find_file_enum.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"

namespace {

constexpr const char* accented_name = "\xC3\x84rger \xC3\x9C" "ber \xF0\x9F\x8E\xB5.flac";  // "Ärger Über 🎵.flac"
constexpr std::uint64_t large_size = 5ull << 30;  // above 32 bits

std::string lower(const std::string& text) {
  qiv::string_buffer folded;
  qiv::string_add_lower(folded, text.c_str(), qiv::until_nul);
  return folded.get_ptr();
}

void make_folders(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::u8path(path), error);
  ASSERT_FALSE(error) << path;
}

HANDLE make_file(const std::string& path) {
  HANDLE file = create_file_utf8(path.c_str(), GENERIC_WRITE, 0, CREATE_NEW, 0);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
  return file;
}

void remove_tree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::u8path(path), ignored);
}

std::string actual_case(const std::string& path) {
  qiv::string_buffer output;
  EXPECT_TRUE(get_actual_path_case(path.c_str(), output)) << path;
  return output.get_ptr();
}

// A fresh folder under the temporary folder holding folders and files of known
// letter case and size; `base` is its path as the file system spells it.
class FileNames : public ::testing::Test {
protected:
  void SetUp() override {
    qiv::string_buffer temp;
    ASSERT_TRUE(get_temp_path_utf8(temp));
    std::string temp_path = temp.get_ptr();
    temp_path.pop_back();
    base = actual_case(temp_path) + "\\Zorv Names " + std::to_string(GetCurrentProcessId());
    make_folders(base + "\\Program Files\\Sub Dir");
    CloseHandle(make_file(base + "\\Program Files\\Sub Dir\\Track One.MP3"));
    HANDLE large = make_file(base + "\\" + accented_name);  // sparse: no 5 GiB are written
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(large_size);
    SetFilePointerEx(large, end, nullptr, FILE_BEGIN);
    SetEndOfFile(large);
    CloseHandle(large);
  }
  void TearDown() override { remove_tree(base); }

  std::string base;
};

// Names and attributes of listed entries are driven through the command-line
// folder expansion in core; sizes only here.
TEST_F(FileNames, EnumerationReadsSizesBeyond32BitsAndFindsNothingWhereNothingMatches) {
  auto entries = find_file_enum::create((base + "\\" + accented_name).c_str());
  ASSERT_NE(entries, nullptr);
  EXPECT_EQ(entries->size(), large_size);
  EXPECT_FALSE(entries->next());
  EXPECT_FALSE(entries->next());  // once at the end it stays there
  EXPECT_EQ(find_file_enum::create((base + "\\*.mp3").c_str()), nullptr);
  EXPECT_EQ(find_file_enum::create((base + "\\missing\\*").c_str()), nullptr);
  EXPECT_FALSE(find_file_enum().next());  // never opened
}

TEST_F(FileNames, EveryComponentTakesItsStoredCaseUpToTheFirstMissingOne) {
  const std::string given = lower(base);
  struct { std::string path, expected; const char* why; } cases[] = {
      {given + "\\program files\\sub dir\\track one.mp3", base + "\\Program Files\\Sub Dir\\Track One.MP3", ""},
      {base + "\\\xC3\xA4rger \xC3\xBC" "ber \xF0\x9F\x8E\xB5.FLAC", base + "\\" + accented_name, "non-ASCII letters"},
      {given + "\\program files\\x.txt", base + "\\Program Files\\x.txt", "the missing name stays"},
      {given + "\\program files\\No Such\\sub dir\\track one.mp3",
       base + "\\Program Files\\No Such\\sub dir\\track one.mp3", "and so does the rest"},
      {given + "\\program*\\sub dir", base + "\\program*\\sub dir", "a wildcard lists entries but names none"},
      {given + "\\program files\\", base + "\\Program Files\\", "a trailing separator is kept"},
      {given + "\\program files\\\\sub dir\\x", base + "\\Program Files\\\\sub dir\\x",
       "nothing is looked up past a doubled separator, nothing dropped"},
  };
  for (const auto& c : cases) EXPECT_EQ(actual_case(c.path), c.expected) << c.why;
}

TEST(ActualPathCase, DrivesUncRootsAndRefusedPaths) {
  EXPECT_EQ(actual_case("c:\\"), "C:\\");
  EXPECT_EQ(actual_case("\\\\Server\\Share\\"), "\\\\server\\share\\");
  // No such share here: the components stay as given.
  EXPECT_EQ(actual_case("\\\\Zorv-No-Server\\Share\\Music\\a.mp3"), "\\\\zorv-no-server\\share\\Music\\a.mp3");
  for (const char* path : {"", "program files\\x.txt", "c:", "c:x.txt", "1:\\x", "\\x", "\\\\server",
                           "\\\\server\\", "\\\\server\\\\x", "\\\\server\\share\\\\x"}) {
    qiv::string_buffer output("unchanged");
    EXPECT_FALSE(get_actual_path_case(path, output)) << path;
    EXPECT_STREQ(output.get_ptr(), "unchanged") << path;
  }
}

// Wine serves "\\server\share" from the prefix's dosdevices\unc\server\share,
// which lets the components of a UNC path be looked up for real.
TEST(ActualPathCase, ComponentsBelowAUncShareTakeTheirStoredCase) {
  const char* prefix = std::getenv("WINEPREFIX");
  if (!prefix || prefix[0] != '/') GTEST_SKIP() << "needs a UNC share (Wine's dosdevices\\unc)";
  std::string unc = std::string("Z:") + prefix + "/dosdevices/unc";
  std::replace(unc.begin(), unc.end(), '/', '\\');
  const std::string server = "zorv-case-" + std::to_string(GetCurrentProcessId());
  make_folders(unc + "\\" + server + "\\share\\Music Folder");
  CloseHandle(make_file(unc + "\\" + server + "\\share\\Music Folder\\Song.FLAC"));
  const std::string upper_server = "ZORV-CASE-" + std::to_string(GetCurrentProcessId());
  EXPECT_EQ(actual_case("\\\\" + upper_server + "\\SHARE\\music folder\\song.flac\\x"),
            "\\\\" + server + "\\share\\Music Folder\\Song.FLAC\\x");
  remove_tree(unc + "\\" + server);
}

} // namespace
