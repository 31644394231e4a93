#include <windows.h>

#include <gtest/gtest.h>

#include "core/app_state.h"

namespace {

class AppExit : public ::testing::Test {
protected:
  void SetUp() override { app::state() = app::process_state(); }
  void TearDown() override { app::state() = app::process_state(); }
};

TEST_F(AppExit, RestartWithResetPostsQuitAndRemembersBoth) {
  ASSERT_TRUE(app::request_exit(2));
  const app::process_state& s = app::state();
  EXPECT_TRUE(s.restart_requested);
  EXPECT_TRUE(s.reset_config_on_restart);
  EXPECT_TRUE(s.quitting);
  EXPECT_TRUE(s.exit_requested);
  MSG message;
  ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 0u);
}

TEST_F(AppExit, PlainExitRequestsNoRestart) {
  ASSERT_TRUE(app::request_exit(0));
  EXPECT_FALSE(app::state().restart_requested);
  EXPECT_FALSE(app::state().reset_config_on_restart);
  MSG message;
  EXPECT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(AppExit, SessionEndReleasesTheLockFileAndAgrees) {
  wchar_t folder[MAX_PATH];
  wchar_t path[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"zlk", 0, path);
  app::state().lock_file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(app::state().lock_file, INVALID_HANDLE_VALUE);
  app::state().registry_ready = true;

  LRESULT result = -5;
  EXPECT_TRUE(session_end_handler(nullptr, WM_QUERYENDSESSION, 0, 0, result));
  EXPECT_EQ(result, TRUE);
  EXPECT_EQ(app::state().lock_file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES);  // deleted on close

  result = -5;
  EXPECT_FALSE(session_end_handler(nullptr, WM_ENDSESSION, TRUE, 0, result));
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(session_end_handler(nullptr, WM_CLOSE, 0, 0, result));
}

}  // namespace
