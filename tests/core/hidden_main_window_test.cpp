#include "core/hidden_main_window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "core/app_state.h"
#include "core/main_thread_queue.h"

namespace {

class HiddenMainWindow : public ::testing::Test {
protected:
  void SetUp() override { hidden_main_window::create(); }
  void TearDown() override {
    app::state().registry_ready = false;
    main_thread_queue::drain(true);
    hidden_main_window::destroy();
  }
};

TEST_F(HiddenMainWindow, OthersFindItByClassAndItsClassGoesWithIt) {
  ASSERT_NE(hidden_main_window::get(), nullptr);
  EXPECT_EQ(FindWindowW(hidden_main_window::class_name, L"uninteresting"), hidden_main_window::get());
  EXPECT_FALSE(IsWindowVisible(hidden_main_window::get()));

  hidden_main_window::destroy();
  WNDCLASSW unused;
  EXPECT_FALSE(GetClassInfoW(GetModuleHandleW(nullptr), hidden_main_window::class_name, &unused));
  hidden_main_window::create();
  EXPECT_NE(hidden_main_window::get(), nullptr);
}

TEST_F(HiddenMainWindow, AWindowDestroyedBehindItsBackIsNoLongerHandedOut) {
  DestroyWindow(hidden_main_window::get());
  EXPECT_EQ(hidden_main_window::get(), nullptr);
}

}  // namespace
