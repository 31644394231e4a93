// Which folders make up the library, the settings behind them, and the two
// library commands of the main menu.
#include "library/library_folder_list.h"

#include <gtest/gtest.h>

#include "core/app_state.h"
#include "core/config_item_registrations.h"
#include <cctype>

#include "foundation/code_page_text.h"
#include "foundation/guid_equal.h"
#include "foundation/string_buffer.h"
#include "library/known_folder_paths.h"
#include "core/service_factory.h"
#include "library/library_menu_commands.h"
#include "library/media_library.h"
#include "library_test_support.h"

namespace {

using texts = std::vector<std::string>;

class LibraryFolderList : public ::testing::Test {
public:
  library_test::tst_input_registration inputs;
  io_test::scratch_folder profile;

  void SetUp() override {
    app::state().profile_path = qiv::string_small(("file://" + profile.path()).c_str());
    media_library::shutdown();
  }
  void TearDown() override {
    app::state().portable_library = false;
    config::library_extra_folders.value().clear();
    config::library_include_music_library.set(true);
    config::library_monitor_folders.set(true);
    media_library::shutdown();
  }
};

TEST_F(LibraryFolderList, ComesFromPortableModeWindowsFoldersAndExtraFolders) {
  texts windows;
  media_library::default_folders(windows);
  // Wine has no music library: the Music folder stands in.
  ASSERT_EQ(windows.size(), 1u);
  const struct {
    const char* why;
    bool portable;
    bool include_windows;
    texts extra;
    texts expected;
  } cases[] = {
      {"nothing at all", false, false, {}, {}},
      {"extra folders in order", false, false, {"D:\\B", "D:\\A"}, {"D:\\B", "D:\\A"}},
      {"Windows folders first", false, true, {"D:\\B"}, {windows[0], "D:\\B"}},
      {"portable mode ignores the Windows setting", true, true, {"D:\\B"}, {".", "D:\\B"}},
  };
  for (const auto& c : cases) {
    app::state().portable_library = c.portable;
    config::library_include_music_library.set(c.include_windows);
    config::library_extra_folders.value().clear();
    for (const std::string& folder : c.extra) config::library_extra_folders.value().append(qiv::string_small(folder.c_str()));
    media_library::startup_folders();
    EXPECT_EQ(media_library::folder_list(), c.expected) << c.why;
  }
}

TEST_F(LibraryFolderList, EverySpellingOfAFolderIsListedOnce) {
  const std::string folder = profile.path("Long Folder Name");
  ASSERT_TRUE(CreateDirectoryW(qiv::utf8_to_utf16(folder.data(), folder.size()).c_str(), nullptr));
  std::string lower = folder, upper = folder, slashes = folder;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (char& c : slashes) c = c == '\\' ? '/' : c;
  wchar_t short_name[MAX_PATH] = {};
  GetShortPathNameW(qiv::utf8_to_utf16(folder.data(), folder.size()).c_str(), short_name, MAX_PATH);
  const texts spellings = {folder, lower, upper, folder + "\\", slashes, "\\\\?\\" + folder,
                           folder + "\\..\\Long Folder Name\\.", qiv::utf16_to_utf8(short_name, wcslen(short_name))};
  for (const std::string& spelling : spellings)
    EXPECT_EQ(library_folder_key(spelling), library_folder_key(folder)) << spelling;
  EXPECT_NE(library_folder_key(profile.path("Long Folder")), library_folder_key(folder));
  EXPECT_EQ(library_folder_key("C:\\"), library_folder_key("c:/")) << "a drive's root";

  // Stored twice, or also a Windows folder: the library scans it once.
  texts windows;
  media_library::default_folders(windows);
  config::library_include_music_library.set(true);
  for (const std::string& extra : {folder, upper + "\\", windows[0], profile.path()})
    config::library_extra_folders.value().append(qiv::string_small(extra.c_str()));
  media_library::startup_folders();
  EXPECT_EQ(media_library::folder_list(), (texts{windows[0], folder, profile.path()}));
}

TEST_F(LibraryFolderList, ThePortableFolderIsTheProgramsWhateverTheWorkingFolder) {
  const std::string program = profile.path("App");
  const std::string working = profile.path("Elsewhere");
  for (const std::string& folder : {program, working})
    ASSERT_TRUE(CreateDirectoryW(qiv::utf8_to_utf16(folder.data(), folder.size()).c_str(), nullptr));
  wchar_t before[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, before);
  SetCurrentDirectoryW(qiv::utf8_to_utf16(working.data(), working.size()).c_str());
  app::state().program_path = qiv::string_small((program + "\\zorv.exe").c_str());
  app::state().portable_library = true;
  for (const std::string& extra : {program, working})
    config::library_extra_folders.value().append(qiv::string_small(extra.c_str()));
  media_library::startup_folders();
  SetCurrentDirectoryW(before);
  EXPECT_EQ(media_library::folder_list(), (texts{".", working})) << "the program's folder is there once already";
}

TEST_F(LibraryFolderList, SettingsKeepTheirOwnIdentities) {
  // config.dat is shared with other versions of the player: each setting
  // must be stored under its own GUID.
  const GUID monitor = {0xA0AA0DBF, 0xC6D0, 0x4DB7, {0xBC, 0x23, 0xE2, 0xAF, 0x96, 0xBD, 0xBE, 0xC4}};
  const GUID include_windows = {0xF44473BB, 0x9025, 0x4204, {0xAF, 0xB5, 0x8F, 0x46, 0xC2, 0x10, 0x22, 0x98}};
  EXPECT_TRUE(qiv::guid_equal(config::library_monitor_folders.guid(), monitor));
  EXPECT_TRUE(qiv::guid_equal(config::library_include_music_library.guid(), include_windows));
}

TEST_F(LibraryFolderList, PathsThatCannotBeCanonicalisedEnterUnchanged) {
  EXPECT_EQ(library_folder_text("\\\\no-such-server-here\\share"), "\\\\no-such-server-here\\share");
  EXPECT_EQ(library_folder_text(profile.path()), profile.path());
}

TEST_F(LibraryFolderList, MenuCommandsFollowTheMonitorSetting) {
  service_single_instance<library_menu_commands> commands;
  qiv::string_buffer text;
  std::uint32_t flags = 0;
  const struct {
    bool monitoring;
    std::uint32_t index;
    bool shown;
    std::uint32_t flags;
  } states[] = {
      {true, 0, true, library_menu_commands::flag_checked | library_menu_commands::flag_builder_option},
      {false, 0, true, library_menu_commands::flag_builder_option},
      {true, 1, false, 0},
      {false, 1, true, 0},
  };
  for (const auto& s : states) {
    config::library_monitor_folders.set(s.monitoring);
    EXPECT_EQ(commands.get_display(s.index, text, flags), s.shown) << s.index << s.monitoring;
    EXPECT_EQ(flags, s.flags) << s.index << s.monitoring;
  }

  // Before the library was used, the toggle changes only the setting.
  config::library_monitor_folders.set(true);
  commands.execute(0, service_handle());
  EXPECT_FALSE(config::library_monitor_folders.get());
  EXPECT_FALSE(media_library::is_loaded());
  // Refreshing while monitoring does nothing, not even a load.
  config::library_monitor_folders.set(true);
  commands.execute(1, service_handle());
  EXPECT_FALSE(media_library::is_loaded());
  config::library_monitor_folders.set(false);
  media_library::set_folder_list({});
  commands.execute(1, service_handle());
  EXPECT_TRUE(media_library::is_loaded());
}

}  // namespace
