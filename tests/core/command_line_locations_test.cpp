#include "core/command_line_locations.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/string_buffer.h"

namespace {

using paths = std::vector<std::string>;

std::string resolved(const char* token, const char* directory) {
  qiv::string_buffer out;
  command_line::resolve_location(token, directory, out);
  return out.get_ptr();
}

TEST(CommandLineLocation, RelativeTextsAreResolvedAgainstTheSendersDirectoryOnly) {
  EXPECT_EQ(resolved("x.mp3", "C:\\Music"), "C:\\Music\\x.mp3");
  EXPECT_EQ(resolved("sub/x.mp3", "C:\\Music\\"), "C:\\Music\\sub\\x.mp3");
  EXPECT_EQ(resolved("..\\x.mp3", "C:\\Music"), "C:\\Music\\..\\x.mp3");  // dots are the file layer's
  EXPECT_EQ(resolved("/Other/x.mp3", "file://D:\\Music"), "D:\\Other\\x.mp3");
  EXPECT_EQ(resolved("E:/Music/x.mp3", "C:\\Music"), "E:/Music/x.mp3");
  EXPECT_EQ(resolved("e:", "C:\\Music"), "e:\\");
  EXPECT_EQ(resolved("\\\\?\\E:\\x.mp3", "C:\\Music"), "E:\\x.mp3");
  EXPECT_EQ(resolved("\\\\server\\share\\x.mp3", "C:\\Music"), "\\\\server\\share\\x.mp3");
  EXPECT_EQ(resolved("http://radio/stream", "C:\\Music"), "http://radio/stream");
}

std::wstring wide(const std::string& text) {
  wchar_t result[MAX_PATH * 2];
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, result, MAX_PATH * 2);
  return result;
}

// Under Wine the host path of a Windows path; empty elsewhere.
std::string host_path(const std::wstring& path) {
  using unix_name_function = char*(CDECL*)(const wchar_t*);
  const auto unix_name = reinterpret_cast<unix_name_function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
  char* name = unix_name != nullptr ? unix_name(path.c_str()) : nullptr;
  if (name == nullptr) return {};
  std::string result = name;
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

void run_host_tool(const wchar_t* tool, const std::string& command_line) {
  std::wstring command(command_line.begin(), command_line.end());
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(tool, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return;
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

// A folder tree: one.mp3, Two.MP3, notes.txt, Album\a.flac,
// Album\Disc 2\b.flac, .hidden\c.mp3; removed afterwards, never through a link.
class LocationExpansion : public ::testing::Test {
protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    char narrow[MAX_PATH * 3];
    WideCharToMultiByte(CP_UTF8, 0, temp, -1, narrow, sizeof(narrow), nullptr, nullptr);
    root_ = std::string(narrow) + "zorv-locations-" + std::to_string(GetCurrentProcessId());
    for (const char* folder : {"", "\\Album", "\\Album\\Disc 2", "\\.hidden"})
      CreateDirectoryW(wide(root_ + folder).c_str(), nullptr);
    for (const char* file : {"\\one.mp3", "\\Two.MP3", "\\notes.txt", "\\Album\\a.flac", "\\Album\\Disc 2\\b.flac",
                             "\\.hidden\\c.mp3"})
      CloseHandle(CreateFileW(wide(root_ + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  }
  void TearDown() override { remove_tree(wide(root_)); }

  static void remove_tree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      // Wine removes neither kind of folder link: a host link goes through the host.
      if (!RemoveDirectoryW(path.c_str()) && !host_path(path).empty())
        run_host_tool(L"Z:\\bin\\rm", "/bin/rm -f \"" + host_path(path) + "\"");
      return;
    }
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) remove_tree(path + L"\\" + name);
        else DeleteFileW((path + L"\\" + name).c_str());
      } while (FindNextFileW(find, &entry));
      FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
  }

  // Under Wine a link of the host's file system (which Wine follows), on
  // Windows a symbolic link.
  bool make_folder_link(const std::string& link, const std::string& target) {
    if (host_path(wide(target)).empty())
      return CreateSymbolicLinkW(wide(link).c_str(), wide(target).c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
    run_host_tool(L"Z:\\bin\\ln", "/bin/ln -s \"" + host_path(wide(target)) + "\" \"" + host_path(wide(link)) + "\"");
    for (int attempt = 0; attempt < 100; ++attempt, Sleep(20))  // the host's change reaches Wine a little later
      if (GetFileAttributesW(wide(link).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    return false;
  }

  paths expand(const std::string& location, bool folders_whole) {
    struct recording_sink : command_line::location_sink {
      void add(const char* path) override { found.push_back(path); }
      paths found;
    } sink;
    command_line::expand_location(location.c_str(), folders_whole, sink);
    std::sort(sink.found.begin(), sink.found.end());
    return sink.found;
  }

  paths all_files() const {
    return {root_ + "\\Album\\Disc 2\\b.flac", root_ + "\\Album\\a.flac", root_ + "\\Two.MP3",
            root_ + "\\notes.txt", root_ + "\\one.mp3"};
  }

  std::string root_;
};

// Wildcards match names ignoring case, never in the folder part, and a
// matching folder counts as a folder.
TEST_F(LocationExpansion, AFolderIsOnePathOrEveryFileBelowItOutsideDotFolders) {
  EXPECT_EQ(expand(root_ + "\\Album\\\\", true), paths{root_ + "\\Album"});
  EXPECT_EQ(expand("C:", true), paths{"C:\\"});  // the root keeps its backslash
  EXPECT_EQ(expand(root_ + "\\", false), all_files());
  EXPECT_EQ(expand(root_ + "\\gone.mp3", false), paths{root_ + "\\gone.mp3"});
  EXPECT_EQ(expand(root_ + "\\*.mp3", true), (paths{root_ + "\\Two.MP3", root_ + "\\one.mp3"}));
  EXPECT_EQ(expand(root_ + "\\?lbum", true), paths{root_ + "\\Album"});
  EXPECT_EQ(expand(root_ + "\\A*", false), (paths{root_ + "\\Album\\Disc 2\\b.flac", root_ + "\\Album\\a.flac"}));
  EXPECT_TRUE(expand(root_ + "\\Al*\\*.flac", true).empty());
}

TEST_F(LocationExpansion, LinkBackToAnOuterFolderIsNotFollowedForever) {
  if (!make_folder_link(root_ + "\\Album\\back", root_)) GTEST_SKIP() << "no folder link can be made here";
  ASSERT_NE(GetFileAttributesW(wide(root_ + "\\Album\\back\\Album\\a.flac").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(expand(root_, false), all_files());
}

}  // namespace
