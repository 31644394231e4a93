#include "foundation/win32_handles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

namespace {

TEST(WaitTimeout, SecondsBecomeRoundedMillisecondsNeverAPollForPositiveTimes) {
  EXPECT_EQ(qiv::seconds_to_wait_ms(0.0004), 1u);
  EXPECT_EQ(qiv::seconds_to_wait_ms(0.0015), 2u);
  EXPECT_EQ(qiv::seconds_to_wait_ms(1.2344), 1234u);
  EXPECT_EQ(qiv::seconds_to_wait_ms(-1), INFINITE);
  EXPECT_EQ(qiv::seconds_to_wait_ms(-0.001), INFINITE);
  EXPECT_EQ(qiv::seconds_to_wait_ms(0), 0u);
  EXPECT_EQ(qiv::seconds_to_wait_ms(std::nan("")), 0u);
}

TEST(WaitTimeout, TimesBeyondTheLargestWaitStayFinite) {
  EXPECT_EQ(qiv::seconds_to_wait_ms(1e12), INFINITE - 1);
  EXPECT_EQ(qiv::seconds_to_wait_ms(std::numeric_limits<double>::infinity()), INFINITE - 1);
}

TEST(Win32Event, StartsUnsignalledAndReportsSignalling) {
  win32_event event;
  event.create();
  ASSERT_NE(event.get(), nullptr);
  EXPECT_FALSE(win32_event::wait(event.get(), 0));
  SetEvent(event.get());
  EXPECT_TRUE(win32_event::wait(event.get(), 0));
  EXPECT_TRUE(win32_event::wait(event.get(), -1));  // manual reset: still signalled
}

TEST(Win32Event, FailedWaitThrowsTheWin32Error) {
  try {
    win32_event::wait(nullptr, 0);
    FAIL() << "no exception";
  } catch (const exception_win32& e) {
    EXPECT_EQ(e.code(), static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));
  }
}

TEST(Win32Event, AbandonedMutexIsAnInternalError) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
  ASSERT_NE(mutex, nullptr);
  // The owner ends without releasing it.
  std::thread([mutex] { WaitForSingleObject(mutex, INFINITE); }).join();
  EXPECT_THROW(win32_event::wait(mutex, 1), qiv::exception_bug_check);
  CloseHandle(mutex);
}

TEST(Win32Handles, FailedAcquisitionThrowsWithTheLastError) {
  win32_accelerators accelerators;
  try {
    // The test executable carries no accelerator table.
    accelerators.load_accelerators_checked(GetModuleHandleW(nullptr));
    FAIL() << "no exception";
  } catch (const exception_win32& e) {
    EXPECT_NE(e.code(), 0u);
  }
  EXPECT_EQ(accelerators.get(), nullptr);
}

TEST(Win32Handles, HandleCloseClearsTheMemberAndSkipsUnsetHandles) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE duplicate;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &duplicate, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  win32_handle_close(event);
  EXPECT_EQ(event, nullptr);
  // The object is still reachable through the duplicate, but not through the closed handle.
  DWORD flags;
  EXPECT_TRUE(GetHandleInformation(duplicate, &flags));
  HANDLE invalid = INVALID_HANDLE_VALUE;
  win32_handle_close(invalid);
  EXPECT_EQ(invalid, nullptr);
  win32_handle owner(duplicate);
  owner.reset();
  EXPECT_EQ(owner.get(), nullptr);
  EXPECT_FALSE(GetHandleInformation(duplicate, &flags));
}

TEST(Win32Handles, GlobalLockScopeUnlocksOnLeaving) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 16);
  ASSERT_NE(memory, nullptr);
  {
    global_lock_scope scope;
    ASSERT_NE(scope.lock(memory), nullptr);
    EXPECT_EQ(GlobalFlags(memory) & GMEM_LOCKCOUNT, 1u);
  }
  EXPECT_EQ(GlobalFlags(memory) & GMEM_LOCKCOUNT, 0u);
  GlobalFree(memory);
}

TEST(Win32Handles, ClipboardScopeClosesTheClipboardItOpened) {
  {
    clipboard_scope scope;
    ASSERT_TRUE(scope.open());
  }
  // Already closed by the scope: closing again fails.
  EXPECT_FALSE(CloseClipboard());
  {
    clipboard_scope never_opened;
  }
  ASSERT_TRUE(OpenClipboard(nullptr));
  {
    clipboard_scope never_opened;
  }
  // A scope that did not open the clipboard leaves it open.
  EXPECT_TRUE(CloseClipboard());
}

} // namespace
