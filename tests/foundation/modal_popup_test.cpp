// The main-thread check and bringing the dialog that blocks a click to the front.
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

// Whether modals may open on the main thread is driven through the real scopes in core.
TEST_F(ModalPopup, NothingModalOffTheMainThreadOrWithoutAScopeUntilStartUpRecordsNone) {
  EXPECT_FALSE(is_main_thread_elsewhere());
  bool allowed_elsewhere = true;
  std::thread([&] { allowed_elsewhere = modal_allowed(); }).join();
  EXPECT_FALSE(allowed_elsewhere);
  activate_blocked_popup();  // nothing without a scope
  EXPECT_EQ(GetActiveWindow(), other);
  qiv::set_main_thread_id(GetCurrentThreadId() + 1);
  EXPECT_EQ(activated_for_scope_of(owner), other);  // nor off the main thread
  qiv::set_main_thread_id(0);  // until start-up records one, every thread passes
  EXPECT_TRUE(is_main_thread_elsewhere());
}

TEST_F(ModalPopup, BlockedClickActivatesTheEnabledPopupOfTheDisabledOwnerAndNothingElse) {
  HWND child = make_window(WS_CHILD | WS_VISIBLE, owner);
  EnableWindow(owner, FALSE);
  EXPECT_EQ(activated_for_scope_of(owner), other);  // disabled, and no popup to bring forward
  HWND dialog = make_window(WS_POPUP | WS_VISIBLE, owner);
  SetActiveWindow(other);
  if (GetWindow(owner, GW_ENABLEDPOPUP) != dialog) GTEST_SKIP() << "this system does not answer GW_ENABLEDPOPUP";
  EXPECT_EQ(activated_for_scope_of(child), dialog);
}

} // namespace
