// The music folders and playback pages inside the preferences dialog: what
// they show of the settings and what applying them stores and sets off.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/config_item_registrations.h"
#include "library/library_folder_list.h"
#include "library/media_library.h"
#include "playback/output/output_module.h"
#include "preferences_test_environment.h"
#include "resources/preferences_dialogs.h"
#include "core/hidden_main_window.h"
#include "core/main_thread_queue.h"
#include "foundation/main_thread.h"
#include "metadata/track_handle.h"
#include "support/folder_picker_driver.h"
#include "support/screen_capture.h"
#include "ui/dialogs/preferences_dialog.h"
#include "ui/framework/list_view_operations.h"

namespace {

using namespace preferences_test;

constexpr GUID folders_page = {0x2D269FA9, 0x6F78, 0x4CEC, {0x9F, 0x1F, 0x0A, 0x17, 0x6E, 0xFC, 0xE7, 0x7A}};
constexpr GUID playback_page = {0x67508677, 0xCFCC, 0x4A1C, {0x92, 0x1C, 0x49, 0xB3, 0x9C, 0xC5, 0xB9, 0x86}};

std::vector<std::string> rows(HWND list) {
  std::vector<std::string> out;
  const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::string text;
    list_view_get_item_text(list, i, 0, text);
    out.push_back(text);
  }
  return out;
}

std::vector<std::string> stored_folders() {
  std::vector<std::string> out;
  for (const auto& folder : config::library_extra_folders.value()) out.emplace_back(folder.get_ptr());
  return out;
}

void set_stored_folders(const std::vector<std::string>& folders) {
  auto& stored = config::library_extra_folders.value();
  stored.clear();
  for (const std::string& folder : folders) stored.append(qiv::string_small(folder.c_str()));
}

// A second of 16-bit stereo silence as a WAV file.
void write_wav(const std::wstring& path) {
  const std::uint32_t rate = 44100, data_size = rate * 4;
  std::string file = "RIFF";
  const auto add32 = [&file](std::uint32_t value) { file.append(reinterpret_cast<const char*>(&value), 4); };
  const auto add16 = [&file](std::uint16_t value) { file.append(reinterpret_cast<const char*>(&value), 2); };
  add32(36 + data_size);
  file += "WAVEfmt ";
  add32(16);
  add16(1);
  add16(2);
  add32(rate);
  add32(rate * 4);
  add16(4);
  add16(16);
  file += "data";
  add32(data_size);
  file.append(data_size, '\0');
  HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(out, file.data(), static_cast<DWORD>(file.size()), &written, nullptr);
  CloseHandle(out);
}

// The library's tracks whose path holds `part`.
std::size_t library_tracks_in(const std::string& part) {
  track_handle_list all;
  media_library::get_all(all);
  std::size_t count = 0;
  for (const auto& handle : all) count += std::string(handle->get_location().get_path()).find(part) != std::string::npos;
  return count;
}

// Runs the main thread's work, the scanners' results among it, until
// `done` holds or ten seconds passed.
template <class Condition>
bool pump_until(Condition done) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(20)) {
    pump();
    main_thread_queue::drain(false);
    if (done()) return true;
  }
  return false;
}

class PreferencesPages : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    qiv::set_main_thread_id(GetCurrentThreadId());
    hidden_main_window::create();
    start_environment();
  }
  void TearDown() override {
    if (HWND window = preferences_dialog::window()) DestroyWindow(window);
    pump();
    app::state().portable_library = false;
    config::library_include_music_library.set(true);
    config::library_monitor_folders.set(true);
    set_stored_folders({});
    config::output_device.set(GUID{});
    config::playback_gain.set({});
  }
  HWND open_page(const GUID& page, int control_id) {
    preferences_dialog::open(&page);
    pump();
    dialog = preferences_dialog::window();
    return page_with_control(dialog, control_id);
  }
  HWND dialog = nullptr;
};

TEST_F(PreferencesPages, RemovingAFolderAndApplyingStoresTheListAndRebuildsTheFolderSet) {
  set_stored_folders({"C:\\first", "D:\\second"});
  HWND page = open_page(folders_page, IDC_FOLDERS_ADDITIONAL_LIST);
  ASSERT_NE(page, nullptr);
  HWND list = GetDlgItem(page, IDC_FOLDERS_ADDITIONAL_LIST);
  EXPECT_EQ(rows(list), (std::vector<std::string>{"C:\\first", "D:\\second"}));
  std::vector<std::string> windows_folders;
  media_library::default_folders(windows_folders);
  EXPECT_EQ(rows(GetDlgItem(page, IDC_FOLDERS_WINDOWS_LIST)), windows_folders);
  EXPECT_TRUE(is_checked(page, IDC_FOLDERS_INCLUDE_WINDOWS));
  EXPECT_TRUE(is_checked(page, IDC_FOLDERS_MONITOR));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_FOLDERS_REMOVE))) << "nothing selected";
  test_support::screen_capture(dialog).save("preferences_music_folders_page");

  list_view_select_only(list, 0);
  pump();
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_FOLDERS_REMOVE)));
  click(page, IDC_FOLDERS_REMOVE);
  pump();
  EXPECT_EQ(rows(list), (std::vector<std::string>{"D:\\second"}));
  EXPECT_EQ(stored_folders().size(), 2u) << "nothing reaches the settings before Apply";
  ASSERT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_PREFERENCES_APPLY)));
  click(dialog, IDC_PREFERENCES_APPLY);
  EXPECT_EQ(stored_folders(), (std::vector<std::string>{"D:\\second"}));
  std::vector<std::string> expected = windows_folders;
  expected.push_back("D:\\second");
  EXPECT_EQ(media_library::folder_list(), expected);

  // Monitoring alone changes the setting and leaves the folder set.
  media_library::set_folder_list({"untouched"});
  click(page, IDC_FOLDERS_MONITOR);
  click(dialog, IDC_PREFERENCES_APPLY);
  EXPECT_FALSE(config::library_monitor_folders.get());
  EXPECT_EQ(media_library::folder_list(), (std::vector<std::string>{"untouched"}));

  // Leaving out the Windows folders rebuilds the set without them.
  click(page, IDC_FOLDERS_INCLUDE_WINDOWS);
  click(dialog, IDC_PREFERENCES_APPLY);
  EXPECT_FALSE(config::library_include_music_library.get());
  EXPECT_EQ(media_library::folder_list(), (std::vector<std::string>{"D:\\second"}));
}

TEST_F(PreferencesPages, AFolderAddedThroughThePickerIsIndexedAfterApplyAndItsTracksGoWhenRemoved) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"zorv added music " + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  write_wav(folder + L"\\song.wav");
  const std::string folder_name = "zorv added music " + std::to_string(GetCurrentProcessId());
  media_library::ensure_loaded();
  ASSERT_EQ(library_tracks_in(folder_name), 0u);

  HWND page = open_page(folders_page, IDC_FOLDERS_ADDITIONAL_LIST);
  ASSERT_NE(page, nullptr);
  {
    test_support::picker_driver user(IDOK, "preferences_add_folder_picker", folder, L"Choose folder to add");
    click(page, IDC_FOLDERS_ADD);
    EXPECT_EQ(user.title(), L"Choose folder to add");
  }
  HWND list = GetDlgItem(page, IDC_FOLDERS_ADDITIONAL_LIST);
  ASSERT_EQ(rows(list).size(), 1u);
  EXPECT_EQ(lstrcmpiW(qiv::utf8_to_utf16(rows(list)[0].c_str(), rows(list)[0].size()).c_str(), folder.c_str()), 0);
  click(dialog, IDC_PREFERENCES_APPLY);
  EXPECT_TRUE(pump_until([&] { return library_tracks_in(folder_name) == 1; })) << "the new folder is scanned";

  list_view_select_only(list, 0);
  pump();
  click(page, IDC_FOLDERS_REMOVE);
  click(dialog, IDC_PREFERENCES_APPLY);
  EXPECT_TRUE(pump_until([&] { return library_tracks_in(folder_name) == 0; })) << "its tracks leave the library";
  DeleteFileW((folder + L"\\song.wav").c_str());
  RemoveDirectoryW(folder.c_str());
}

// A library kept beside the program hides the Windows folders; applying the
// page must not turn their setting off for ordinary runs.
TEST_F(PreferencesPages, PortableLibraryModeLeavesTheWindowsFoldersSettingAsItWas) {
  app::state().portable_library = true;
  HWND page = open_page(folders_page, IDC_FOLDERS_ADDITIONAL_LIST);
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(page, IDC_FOLDERS_INCLUDE_WINDOWS)));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(page, IDC_FOLDERS_WINDOWS_LIST)));
  click(page, IDC_FOLDERS_MONITOR);
  click(dialog, IDC_PREFERENCES_APPLY);
  EXPECT_FALSE(config::library_monitor_folders.get());
  EXPECT_TRUE(config::library_include_music_library.get());
}

GUID device_of_entry(HWND combo, int index) {
  struct choice {
    GUID module, device;
  };
  const auto* entry = reinterpret_cast<const choice*>(SendMessageW(combo, CB_GETITEMDATA, index, 0));
  return entry->device;
}

void choose(HWND page, int index) {
  HWND combo = GetDlgItem(page, IDC_PLAYBACK_DEVICE);
  SendMessageW(combo, CB_SETCURSEL, index, 0);
  SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_PLAYBACK_DEVICE, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  pump();
}

TEST_F(PreferencesPages, PlaybackPageListsTheDevicesAndStoresTheChosenOne) {
  HWND page = open_page(playback_page, IDC_PLAYBACK_DEVICE);
  ASSERT_NE(page, nullptr);
  HWND combo = GetDlgItem(page, IDC_PLAYBACK_DEVICE);
  const auto count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  ASSERT_GE(count, 2) << "Wine lists the primary driver and its ALSA device";
  const auto selected = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
  ASSERT_GE(selected, 0) << "the default device is chosen";
  EXPECT_EQ(device_of_entry(combo, selected), GUID{});
  wchar_t text[128] = {};
  SendMessageW(combo, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(text));
  EXPECT_EQ(std::wstring(text).find(L"DS : "), std::wstring::npos) << "one module: device names alone";

  const int other = selected == 0 ? 1 : 0;
  choose(page, other);
  click(dialog, IDC_PREFERENCES_APPLY);
  EXPECT_EQ(config::output_device.get(), device_of_entry(combo, other));
  EXPECT_EQ(config::output_module.get(), config::directsound_output_guid);

  // The same device again: the page is changed, nothing is switched.
  choose(page, other);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_PREFERENCES_APPLY)));
  click(dialog, IDC_PREFERENCES_APPLY);
  EXPECT_EQ(config::output_device.get(), device_of_entry(combo, other));
}

// The text of the balloon tip shown now by this thread; empty when none is.
std::string shown_balloon() {
  std::string text;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM context) WINAPI -> BOOL {
        wchar_t name[32] = {};
        GetClassNameW(window, name, 32);
        if (std::wstring(name) != L"tooltips_class32" || !IsWindowVisible(window)) return TRUE;
        wchar_t buffer[256] = {};
        TTTOOLINFOW tool = {};
        tool.cbSize = sizeof(tool);
        tool.lpszText = buffer;
        if (!SendMessageW(window, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool))) return TRUE;
        *reinterpret_cast<std::string*>(context) = qiv::utf16_to_utf8(buffer, std::char_traits<wchar_t>::length(buffer));
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&text));
  return text;
}

TEST_F(PreferencesPages, AMissingDeviceLeavesNoChoiceAndApplyingKeepsIt) {
  const GUID gone = {0xDEAD0001, 0, 0, {1}};
  config::output_device.set(gone);
  HWND page = open_page(playback_page, IDC_PLAYBACK_DEVICE);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(SendDlgItemMessageW(page, IDC_PLAYBACK_DEVICE, CB_GETCURSEL, 0, 0), CB_ERR);
  pump(100);
  EXPECT_EQ(shown_balloon(), "Please select a valid output device.");
  test_support::screen_capture(dialog).save("preferences_missing_device");
  // A ReplayGain change alone: the configured device stays.
  HWND panel = GetDlgItem(page, IDC_PLAYBACK_REPLAYGAIN_PANEL);
  ASSERT_NE(panel, nullptr);
  click(panel, IDC_REPLAYGAIN_TRACK);
  pump(50);
  EXPECT_EQ(shown_balloon(), "") << "a change hides the hint";
  click(dialog, IDC_PREFERENCES_APPLY);
  EXPECT_EQ(config::output_device.get(), gone);
  EXPECT_EQ(config::playback_gain.get().source_mode, 1u) << "the panel's choice is stored";
}

}  // namespace
