#include "core/modal_scope.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "foundation/main_thread.h"
#include "foundation/modal_popup.h"

namespace {

HWND make_window() {
  return CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
}

// The window the foundation brings forward for the current scope.
HWND window_brought_forward() {
  HWND other = make_window();
  SetActiveWindow(other);
  activate_blocked_popup();
  HWND active = GetActiveWindow();
  DestroyWindow(other);
  return active == other ? nullptr : active;
}

class ModalScope : public ::testing::Test {
protected:
  void SetUp() override { qiv::set_main_thread_id(GetCurrentThreadId()); }
  void TearDown() override { qiv::set_main_thread_id(0); }
};

TEST_F(ModalScope, NestedScopesRestoreTheOuterOneOnLeaving) {
  HWND outer_window = make_window();
  HWND inner_window = make_window();
  ASSERT_TRUE(modal_scope::none_active());
  modal_scope outer;
  outer.enter(outer_window);
  EXPECT_FALSE(modal_allowed());
  {
    modal_scope inner;
    inner.enter(inner_window);
    EXPECT_EQ(window_brought_forward(), inner_window);
  }  // left by its destructor
  EXPECT_FALSE(modal_scope::none_active());
  EXPECT_EQ(window_brought_forward(), outer_window);
  outer.leave();
  EXPECT_TRUE(modal_scope::none_active());
  EXPECT_TRUE(modal_allowed());
  DestroyWindow(inner_window);
  DestroyWindow(outer_window);
}

TEST_F(ModalScope, EnteringTwiceNeedsOneLeaveAndASecondLeaveChangesNothing) {
  HWND window = make_window();
  modal_scope outer;
  outer.enter(window);
  modal_scope scope;
  scope.enter(nullptr);  // a scope without a window still counts
  scope.enter(nullptr);
  scope.leave();
  scope.leave();
  EXPECT_EQ(window_brought_forward(), window);
  outer.leave();
  EXPECT_TRUE(modal_scope::none_active());
  DestroyWindow(window);
}

TEST_F(ModalScope, OtherThreadsNeitherChangeNorSeeTheCurrentScope) {
  bool none_active_elsewhere = true;
  std::thread([&] { none_active_elsewhere = modal_scope::none_active(); }).join();
  EXPECT_FALSE(none_active_elsewhere);

  modal_scope scope;
  std::thread([&] { scope.enter(nullptr); }).join();
  EXPECT_TRUE(modal_scope::none_active());
  // The record counts as entered: a second enter here is ignored, and leaving
  // here must not make its never-current pair current.
  scope.enter(nullptr);
  scope.leave();
  EXPECT_TRUE(modal_scope::none_active());
  // Afterwards it is an ordinary record again.
  scope.enter(nullptr);
  EXPECT_FALSE(modal_scope::none_active());
  scope.leave();
  EXPECT_TRUE(modal_scope::none_active());
}

}  // namespace
