#include "core/modal_scope.h"

#include <windows.h>

#include <gtest/gtest.h>

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

// A scope without a window still counts; entering twice needs one leave and
// a second leave changes nothing.
TEST(ModalScope, NestedScopesRestoreTheOuterOneOnLeaving) {
  qiv::set_main_thread_id(GetCurrentThreadId());
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
    modal_scope windowless;
    windowless.enter(nullptr);
    windowless.enter(nullptr);
    windowless.leave();
    windowless.leave();
    EXPECT_EQ(window_brought_forward(), inner_window);
  }  // left by its destructor
  EXPECT_EQ(window_brought_forward(), outer_window);
  outer.leave();
  EXPECT_TRUE(modal_scope::none_active());
  EXPECT_TRUE(modal_allowed());
  DestroyWindow(inner_window);
  DestroyWindow(outer_window);
  qiv::set_main_thread_id(0);
}

}  // namespace
