// The main-thread check, whether a modal dialog may open, and bringing the
// dialog that blocks the user's click to the front.
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

bool is_main_thread_elsewhere() {
  bool answer = true;
  std::thread([&] { answer = is_main_thread(); }).join();
  return answer;
}

// Runs on the recorded main thread, with no modal scope unless a test
// installs one, and with another window active.
class ModalPopup : public ::testing::Test {
protected:
  void SetUp() override {
    qiv::set_main_thread_id(GetCurrentThreadId());
    other = make_window(WS_POPUP | WS_VISIBLE, nullptr);
    owner = make_window(WS_POPUP | WS_VISIBLE, nullptr);
    SetActiveWindow(other);
    ASSERT_EQ(GetActiveWindow(), other);
  }
  void TearDown() override {
    qiv::set_modal_scope_query(nullptr);
    modal_window = nullptr;
    qiv::set_main_thread_id(0);
    DestroyWindow(other);
    DestroyWindow(owner);
  }
  HWND activated_for_scope_of(HWND window) {
    modal_window = window;
    qiv::set_modal_scope_query(modal_scope_with_window);
    activate_blocked_popup();
    return GetActiveWindow();
  }

  HWND other = nullptr;
  HWND owner = nullptr;
};

TEST_F(ModalPopup, ModalsAreAllowedOnlyOnTheMainThreadWithoutAnActiveScope) {
  EXPECT_TRUE(modal_allowed());
  EXPECT_FALSE(is_main_thread_elsewhere());
  bool allowed_elsewhere = true;
  std::thread([&] { allowed_elsewhere = modal_allowed(); }).join();
  EXPECT_FALSE(allowed_elsewhere);
  qiv::set_modal_scope_query(modal_scope_with_window);
  EXPECT_FALSE(modal_allowed());  // a scope without a window is still a scope
  qiv::set_main_thread_id(0);     // until start-up records one, every thread passes
  EXPECT_TRUE(is_main_thread());
  EXPECT_TRUE(is_main_thread_elsewhere());
}

TEST_F(ModalPopup, TopLevelWindowIsTheFirstAncestorThatIsNotAChild) {
  HWND child = make_window(WS_CHILD, owner);
  HWND grandchild = make_window(WS_CHILD, child);
  EXPECT_EQ(find_top_level_window(grandchild), owner);
  EXPECT_EQ(find_top_level_window(owner), owner);
  HWND owned = make_window(WS_POPUP, owner);  // an owned popup is its own top-level window
  EXPECT_EQ(find_top_level_window(owned), owned);
}

TEST_F(ModalPopup, EnabledScopeWindowIsActivatedAndADisabledOneWithoutPopupLeftAlone) {
  EXPECT_EQ(activated_for_scope_of(owner), owner);
  SetActiveWindow(other);
  EnableWindow(owner, FALSE);
  EXPECT_EQ(activated_for_scope_of(owner), other);
}

TEST_F(ModalPopup, BlockedClickActivatesTheEnabledPopupOfTheDisabledOwner) {
  HWND child = make_window(WS_CHILD | WS_VISIBLE, owner);
  HWND dialog = make_window(WS_POPUP | WS_VISIBLE, owner);
  SetActiveWindow(other);
  EnableWindow(owner, FALSE);
  if (GetWindow(owner, GW_ENABLEDPOPUP) != dialog) GTEST_SKIP() << "this system does not answer GW_ENABLEDPOPUP";
  EXPECT_EQ(activated_for_scope_of(child), dialog);
}

TEST_F(ModalPopup, NothingIsActivatedWithoutAScopeOrOffTheMainThread) {
  activate_blocked_popup();
  EXPECT_EQ(GetActiveWindow(), other);
  qiv::set_main_thread_id(GetCurrentThreadId() + 1);
  EXPECT_EQ(activated_for_scope_of(owner), other);
}

} // namespace
