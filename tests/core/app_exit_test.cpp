#include <windows.h>

#include <gtest/gtest.h>

#include "core/app_state.h"
#include "core/service_registry.h"
#include "core/shutdown_approval.h"
#include "tests/support/single_factory.h"

namespace {

TEST(AppExit, SessionEndReleasesTheLockFileAndAgrees) {
  wchar_t folder[MAX_PATH], path[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"zlk", 0, path);
  app::state().lock_file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(app::state().lock_file, INVALID_HANDLE_VALUE);
  app::state().registry_ready = true;
  LRESULT result = -5;
  EXPECT_TRUE(session_end_handler(nullptr, WM_QUERYENDSESSION, 0, 0, result));
  EXPECT_EQ(result, TRUE);
  EXPECT_EQ(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES);  // deleted on close
  EXPECT_FALSE(session_end_handler(nullptr, WM_ENDSESSION, TRUE, 0, result));
  EXPECT_EQ(result, 1);
  app::state() = app::process_state();
}

struct counting_approval : quit_approval {
  bool may_quit_now() override {
    ++asked;
    return answer;
  }
  bool answer = true;
  int asked = 0;
};

TEST(ShutdownApproval, QuitsOnlyWhenEveryServiceAgreesAndTheFirstRefusalEndsTheQuestions) {
  service_registry::table().build(nullptr);
  EXPECT_TRUE(shutdown_approval::query_all());
  service_factory* list = nullptr;
  single_factory<counting_approval> first(&list), second(&list);
  service_registry::table().build(list);
  EXPECT_TRUE(shutdown_approval::query_all());
  EXPECT_EQ(first.instance.asked + second.instance.asked, 2);
  first.instance.answer = second.instance.answer = false;
  EXPECT_FALSE(shutdown_approval::query_all());
  EXPECT_EQ(first.instance.asked + second.instance.asked, 3);
  service_registry::table().clear();
}

}  // namespace
