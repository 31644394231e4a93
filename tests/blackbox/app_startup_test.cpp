// Start-up, profile folder, lock file and failure messages of zorv.exe, seen
// from outside the process.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <functional>
#include <string>

#include "support/program_copy.h"

namespace {

using test_support::built_program;
using test_support::directory_exists;
using test_support::file_exists;
using test_support::program_copy;
using test_support::program_options;
using test_support::program_result;
using test_support::run_program;

constexpr DWORD exit_failure = 0xFFFFFFFF;  // -1

program_result run(const std::wstring& exe, const std::wstring& arguments,
                   std::function<void(HWND)> on_window = nullptr) {
  program_options options = test_support::options_for(exe, arguments);
  options.on_window = std::move(on_window);
  return run_program(options);
}

bool ends_normally(const program_result& result) {
  return result.debug_output.find("Terminated normally.\n") != std::string::npos;
}

class AppStartup : public ::testing::Test {
protected:
  void SetUp() override {
    if (built_program().empty()) GTEST_SKIP() << "ZORV_EXE is not set";
  }
};

TEST_F(AppStartup, QuietStartCreatesTheProfileUnderApplicationDataAndExitsAtOnce) {
  wchar_t appdata[MAX_PATH];
  ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appdata)));
  const std::wstring profile = std::wstring(appdata) + L"\\Zorv Audio Player";
  RemoveDirectoryW(profile.c_str());  // only succeeds when empty: never loses anyone's files

  const program_result result = run(built_program(), L"/quiet");
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.exit_code, 0u);
  EXPECT_TRUE(directory_exists(profile));
  EXPECT_FALSE(file_exists(profile + L"\\config.dat"));
  EXPECT_FALSE(file_exists(profile + L"\\running"));
  EXPECT_TRUE(result.message_boxes.empty());
  EXPECT_TRUE(ends_normally(result)) << result.debug_output;
}

TEST_F(AppStartup, ConfigurationMarkerMovesTheProfileBesideTheProgram) {
  program_copy copy;
  const program_result result = run(copy.exe(), L"/quiet");
  EXPECT_EQ(result.exit_code, 0u);
  EXPECT_TRUE(directory_exists(copy.profile()));
}

TEST_F(AppStartup, MarkersThatAreFoldersOrOnlyForTheLibraryKeepTheProfileInApplicationData) {
  program_copy folder_marker(false);
  CreateDirectoryW((folder_marker.exe() + L".localconfig.opt").c_str(), nullptr);
  EXPECT_EQ(run(folder_marker.exe(), L"/quiet").exit_code, 0u);
  EXPECT_FALSE(directory_exists(folder_marker.profile()));

  program_copy library_marker(false);
  test_support::write_file(library_marker.exe() + L".locallibrary.opt", "");
  EXPECT_EQ(run(library_marker.exe(), L"/quiet").exit_code, 0u);
  EXPECT_FALSE(directory_exists(library_marker.profile()));
}

TEST_F(AppStartup, LockFileExistsExactlyWhileTheProgramRuns) {
  program_copy copy;
  const std::wstring lock = copy.profile() + L"\\running";
  bool lock_seen = false;
  bool second_open_refused = false;
  const program_result result = run(copy.exe(), L"", [&](HWND window) {
    lock_seen = file_exists(lock);
    HANDLE second = CreateFileW(lock.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    second_open_refused = second == INVALID_HANDLE_VALUE;
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    PostMessageW(window, WM_CLOSE, 0, 0);
  });
  EXPECT_FALSE(result.timed_out);
  EXPECT_TRUE(lock_seen);
  EXPECT_TRUE(second_open_refused);
  EXPECT_EQ(result.exit_code, 0u);
  EXPECT_FALSE(file_exists(lock));
  EXPECT_TRUE(ends_normally(result)) << result.debug_output;
}

// Each start-up failure shows its message once, in a box unless "/quiet",
// and ends with -1.
TEST_F(AppStartup, StartupFailuresStopWithTheirMessageAndExitCodeMinusOne) {
  const struct {
    const char* why;
    const char* program_variable;
    std::function<void(const program_copy&)> prepare;
    const wchar_t* message;
  } cases[] = {
      {"unusable lock file", "ZORV_EXE",
       [](const program_copy& copy) {
         copy.create_profile();
         CreateDirectoryW((copy.profile() + L"\\running").c_str(), nullptr);
       },
       L"Could not access profile folder"},
      {"profile path taken by a file", "ZORV_EXE",
       [](const program_copy& copy) { test_support::write_file(copy.profile(), "not a folder"); },
       L"Could not create profile directory"},
      {"duplicated tag service", "ZORV_TWO_TAG_SERVICES_EXE", [](const program_copy&) {},
       L"Internal error - one or more of the installed components have been damaged."},
  };
  for (const auto& c : cases) {
    const program_copy copy(true, built_program(c.program_variable));
    c.prepare(copy);
    const program_result shown = run(copy.exe(), L"");
    EXPECT_EQ(shown.exit_code, exit_failure) << c.why;
    ASSERT_EQ(shown.message_boxes.size(), 1u) << c.why;
    EXPECT_EQ(shown.message_boxes[0].caption, L"Zorv encountered an error") << c.why;
    EXPECT_EQ(shown.message_boxes[0].text, c.message) << c.why;
    std::string line(c.message, c.message + std::wcslen(c.message));
    EXPECT_NE(shown.debug_output.find("Initialization failure : " + line + "\n"), std::string::npos)
        << c.why << ": " << shown.debug_output;
    EXPECT_TRUE(ends_normally(shown)) << c.why << ": " << shown.debug_output;

    const program_result quiet = run(copy.exe(), L"/quiet");
    EXPECT_EQ(quiet.exit_code, exit_failure) << c.why;
    EXPECT_TRUE(quiet.message_boxes.empty()) << c.why;
  }
}

TEST_F(AppStartup, ReadOnlyProfileRunsWithoutLockFile) {
  program_copy copy;
  CreateDirectoryW(copy.profile().c_str(), nullptr);
  ASSERT_TRUE(test_support::set_folder_read_only(copy.profile(), true));
  bool lock_seen = true;
  const program_result result = run(copy.exe(), L"", [&](HWND window) {
    lock_seen = file_exists(copy.profile() + L"\\running");
    PostMessageW(window, WM_CLOSE, 0, 0);
  });
  EXPECT_FALSE(result.timed_out);
  EXPECT_FALSE(lock_seen);
  EXPECT_EQ(result.exit_code, 0u);
  test_support::set_folder_read_only(copy.profile(), false);
}

TEST_F(AppStartup, CapitalisedQuietSwitchIsNotRecognised) {
  program_copy copy;
  bool window_seen = false;
  const program_result result = run(copy.exe(), L"/QUIET", [&](HWND window) {
    window_seen = true;
    PostMessageW(window, WM_CLOSE, 0, 0);
  });
  EXPECT_TRUE(window_seen);
  EXPECT_EQ(result.exit_code, 0u);
}

}  // namespace
