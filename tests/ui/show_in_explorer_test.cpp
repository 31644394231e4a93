// "Show in Explorer" run through the command lookup on real files; the shell
// call that would open Explorer is recorded instead, with the folder and the
// files it was asked to select resolved back to paths.
#include "ui/menus/show_in_explorer.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/localized_text.h"
#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_error.h"
#include "foundation/win32_text.h"
#include "metadata/track_handle_registry.h"
#include "ui/menus/command_lookup.h"

namespace {

constexpr GUID show_in_explorer_command = {0xEFC1E9C8, 0xEEEF, 0x427A, {0x8F, 0x42, 0xE5, 0x78, 0x16, 0x05, 0x84, 0x6D}};

struct recorded_open {
  std::wstring folder;
  std::vector<std::wstring> items;
};
std::vector<recorded_open> opens;
std::vector<std::wstring> fallbacks;
HRESULT open_answer = S_OK;

std::wstring path_of(PCIDLIST_ABSOLUTE id) {
  wchar_t path[MAX_PATH] = {};
  SHGetPathFromIDListW(id, path);
  return path;
}

HRESULT WINAPI record_open(PCIDLIST_ABSOLUTE folder, UINT count, PCUITEMID_CHILD_ARRAY items, DWORD) {
  recorded_open open{path_of(folder), {}};
  for (UINT i = 0; i < count; ++i) {
    PIDLIST_ABSOLUTE full = ILCombine(folder, items[i]);
    open.items.push_back(path_of(full));
    ILFree(full);
  }
  opens.push_back(open);
  return open_answer;
}

void record_fallback(HWND, const wchar_t* folder) { fallbacks.emplace_back(folder); }

constexpr explorer_shell_calls recorder = {&record_open, &record_fallback};

std::string utf8(const std::wstring& text) {
  qiv::string_buffer out;
  wide_to_utf8(text.c_str(), out);
  return out.get_ptr();
}

class ShowInExplorer : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    service_registry::table().build(service_factory::global_list_head);
    qiv::set_main_thread_id(GetCurrentThreadId());
    localized_text::set("dialog_information", "Information");
  }
  static void TearDownTestSuite() {
    service_registry::free();
    CoUninitialize();
  }

  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    base = std::wstring(temp) + L"zorv explorer " + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(base.c_str(), nullptr);
    for (const wchar_t* folder : {L"\\A", L"\\B"}) CreateDirectoryW((base + folder).c_str(), nullptr);
    for (const wchar_t* file : {L"\\A\\Song.mp3", L"\\A\\two.flac", L"\\A\\three.ogg", L"\\B\\other.mp3"})
      std::ofstream(std::filesystem::path(base + file)) << "x";
    set_explorer_shell_calls(&recorder);
    opens.clear();
    fallbacks.clear();
    open_answer = S_OK;
  }
  void TearDown() override {
    set_explorer_shell_calls(nullptr);
    for (const wchar_t* file : {L"\\A\\Song.mp3", L"\\A\\two.flac", L"\\A\\three.ogg", L"\\B\\other.mp3"})
      DeleteFileW((base + file).c_str());
    for (const wchar_t* folder : {L"\\A", L"\\B", L""}) RemoveDirectoryW((base + folder).c_str());
  }

  track_handle_ptr track(const std::wstring& relative, std::uint32_t subsong = 0) {
    return track_handle_registry::get_handle(track_location(("file://" + utf8(base + relative)).c_str(), subsong));
  }
  bool run(const track_handle_list& tracks) {
    return run_context_command_by_guid(show_in_explorer_command, GUID{}, tracks, GUID{});
  }

  std::wstring base;
};

TEST_F(ShowInExplorer, OpensTheFolderWithEveryTrackSelected) {
  ASSERT_TRUE(run({track(L"\\A\\Song.mp3"), track(L"\\A\\two.flac"), track(L"\\A\\three.ogg")}));
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].folder, base + L"\\A");
  EXPECT_EQ(opens[0].items, (std::vector<std::wstring>{base + L"\\A\\Song.mp3", base + L"\\A\\three.ogg",
                                                       base + L"\\A\\two.flac"}))
      << "in case-insensitive name order";
  EXPECT_TRUE(fallbacks.empty());
}

TEST_F(ShowInExplorer, OneFileIsSelectedOnceForItsCueTracksAndForNamesDifferingInCase) {
  ASSERT_TRUE(run({track(L"\\A\\Song.mp3", 1), track(L"\\A\\Song.mp3", 2), track(L"\\a\\song.MP3")}));
  ASSERT_EQ(opens.size(), 1u) << "folders that differ only in case are one folder";
  EXPECT_EQ(opens[0].items.size(), 1u);
}

TEST_F(ShowInExplorer, TracksOfTwoFoldersOrNotLocalOpenNothing) {
  ASSERT_TRUE(run({track(L"\\A\\Song.mp3"), track(L"\\B\\other.mp3")}));
  ASSERT_TRUE(run({track_handle_registry::get_handle(track_location("http://example.invalid/a.mp3", 0))}));
  EXPECT_TRUE(opens.empty());
  EXPECT_TRUE(fallbacks.empty());
}

TEST_F(ShowInExplorer, AFailedOpenFallsBackToTheFolderUnlessTheUserCancelled) {
  open_answer = E_ABORT;
  run({track(L"\\A\\Song.mp3")});
  EXPECT_TRUE(fallbacks.empty());
  open_answer = E_FAIL;
  run({track(L"\\A\\Song.mp3")});
  ASSERT_EQ(fallbacks.size(), 1u);
  EXPECT_EQ(fallbacks[0], base + L"\\A\\");
}

TEST_F(ShowInExplorer, AFileThatIsGoneOpensNothingAndThrowsNothing) {
  EXPECT_NO_THROW(run({track(L"\\A\\Song.mp3"), track(L"\\A\\vanished.mp3")}));
  EXPECT_TRUE(opens.empty());
  EXPECT_TRUE(fallbacks.empty());
  EXPECT_THROW(shell_show_in_explorer(base + L"\\A\\", {L"vanished.mp3"}), exception_com);
}

}  // namespace
