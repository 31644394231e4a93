#include "foundation/modal_popup.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "foundation/main_thread.h"

namespace {

HWND modal_window = nullptr;

bool modal_scope_with_window(HWND& window) noexcept {
  window = modal_window;
  return true;
}

HWND make_window(DWORD style, HWND parent) {
  return CreateWindowExW(0, L"STATIC", L"", style, 0, 0, 100, 100, parent, nullptr, nullptr, nullptr);
}

// Runs on the recorded main thread, with no modal scope unless a test installs one.
class ModalPopup : public ::testing::Test {
protected:
  void SetUp() override { qiv::set_main_thread_id(GetCurrentThreadId()); }
  void TearDown() override {
    qiv::set_modal_scope_query(nullptr);
    modal_window = nullptr;
    qiv::set_main_thread_id(0);
  }
};

TEST_F(ModalPopup, TopLevelWindowIsTheFirstAncestorThatIsNotAChild) {
  HWND top = make_window(WS_POPUP, nullptr);
  HWND child = make_window(WS_CHILD, top);
  HWND grandchild = make_window(WS_CHILD, child);
  ASSERT_NE(grandchild, nullptr);
  EXPECT_EQ(find_top_level_window(grandchild), top);
  EXPECT_EQ(find_top_level_window(top), top);
  // An owned popup is not a child: it is its own top-level window.
  HWND owned = make_window(WS_POPUP, top);
  EXPECT_EQ(find_top_level_window(owned), owned);
  DestroyWindow(top);
}

TEST_F(ModalPopup, ModalsAreAllowedOnlyOnTheMainThreadWithoutAnActiveScope) {
  EXPECT_TRUE(modal_allowed());
  bool allowed_elsewhere = true;
  std::thread([&] { allowed_elsewhere = modal_allowed(); }).join();
  EXPECT_FALSE(allowed_elsewhere);

  qiv::set_modal_scope_query(modal_scope_with_window);
  EXPECT_FALSE(modal_allowed());
  // A scope without a window is still a scope.
  modal_window = nullptr;
  EXPECT_FALSE(modal_allowed());
}

TEST_F(ModalPopup, BlockedClickActivatesTheEnabledPopupOfTheDisabledOwner) {
  HWND owner = make_window(WS_POPUP | WS_VISIBLE, nullptr);
  HWND child = make_window(WS_CHILD | WS_VISIBLE, owner);
  HWND dialog = make_window(WS_POPUP | WS_VISIBLE, owner);
  HWND other = make_window(WS_POPUP | WS_VISIBLE, nullptr);
  ASSERT_NE(other, nullptr);
  EnableWindow(owner, FALSE);
  if (GetWindow(owner, GW_ENABLEDPOPUP) != dialog) {
    DestroyWindow(other);
    DestroyWindow(owner);
    GTEST_SKIP() << "this system does not answer GW_ENABLEDPOPUP (Wine 8)";
  }
  SetActiveWindow(other);
  ASSERT_EQ(GetActiveWindow(), other);

  modal_window = child;
  qiv::set_modal_scope_query(modal_scope_with_window);
  activate_blocked_popup();
  EXPECT_EQ(GetActiveWindow(), dialog);

  DestroyWindow(other);
  DestroyWindow(owner);
}

TEST_F(ModalPopup, DisabledScopeWindowWithoutAnEnabledPopupIsLeftAlone) {
  HWND owner = make_window(WS_POPUP | WS_VISIBLE, nullptr);
  HWND other = make_window(WS_POPUP | WS_VISIBLE, nullptr);
  SetActiveWindow(other);
  EnableWindow(owner, FALSE);

  modal_window = owner;
  qiv::set_modal_scope_query(modal_scope_with_window);
  activate_blocked_popup();
  EXPECT_EQ(GetActiveWindow(), other);

  DestroyWindow(other);
  DestroyWindow(owner);
}

TEST_F(ModalPopup, EnabledScopeWindowIsActivatedItself) {
  HWND scope = make_window(WS_POPUP | WS_VISIBLE, nullptr);
  HWND other = make_window(WS_POPUP | WS_VISIBLE, nullptr);
  SetActiveWindow(other);
  ASSERT_EQ(GetActiveWindow(), other);

  modal_window = scope;
  qiv::set_modal_scope_query(modal_scope_with_window);
  activate_blocked_popup();
  EXPECT_EQ(GetActiveWindow(), scope);

  DestroyWindow(other);
  DestroyWindow(scope);
}

TEST_F(ModalPopup, NothingIsActivatedWithoutAScopeOrOffTheMainThread) {
  HWND scope = make_window(WS_POPUP | WS_VISIBLE, nullptr);
  HWND other = make_window(WS_POPUP | WS_VISIBLE, nullptr);
  SetActiveWindow(other);
  activate_blocked_popup();
  EXPECT_EQ(GetActiveWindow(), other);

  modal_window = scope;
  qiv::set_modal_scope_query(modal_scope_with_window);
  qiv::set_main_thread_id(GetCurrentThreadId() + 1);
  activate_blocked_popup();
  EXPECT_EQ(GetActiveWindow(), other);

  DestroyWindow(other);
  DestroyWindow(scope);
}

} // namespace
