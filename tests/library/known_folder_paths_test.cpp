// The default music folders under Wine, which has no shell libraries.
#include "library/known_folder_paths.h"

#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"

namespace {

std::string classic_folder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, path))) return {};
  qiv::string_buffer out;
  wide_to_utf8(path, out);
  return out.get_ptr();
}

TEST(KnownFolderPaths, WithoutTheMusicLibraryTheMusicFolderStandsInAndOtherFoldersGiveNone) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  EXPECT_TRUE(known_folder_paths(known_folder::music_library).empty());
  EXPECT_EQ(known_folder_paths(known_folder::music), std::vector<std::string>{classic_folder(CSIDL_MYMUSIC)});
  EXPECT_EQ(known_folder_paths(known_folder::documents), std::vector<std::string>{classic_folder(CSIDL_PERSONAL)});
  const GUID desktop = {0xB4BFCC3A, 0xDB2C, 0x424C, {0xB0, 0x29, 0x7F, 0xE9, 0x9A, 0x87, 0xC6, 0x41}};
  EXPECT_TRUE(known_folder_paths(desktop).empty());
  CoUninitialize();
}

}  // namespace
