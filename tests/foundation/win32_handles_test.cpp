// Owned Win32 handles and waits with timeouts in seconds.
#include "foundation/win32_handles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

namespace {

TEST(WaitTimeout, SecondsBecomeRoundedMillisecondsNeverAPollForPositiveTimes) {
  struct { double seconds; DWORD ms; const char* why; } cases[] = {
      {0.0004, 1, "a positive time never polls"},
      {1.2344, 1234, ""},
      {-1, INFINITE, "negative waits forever"},
      {0, 0, "polls"},
      {std::nan(""), 0, ""},
      {1e12, INFINITE - 1, "beyond the largest wait stays finite"},
  };
  for (const auto& c : cases) EXPECT_EQ(qiv::seconds_to_wait_ms(c.seconds), c.ms) << c.seconds << " " << c.why;
}

TEST(Win32Event, ReportsSignallingAndThrowsOnFailedOrAbandonedWaits) {
  win32_event event;
  event.create();
  EXPECT_FALSE(win32_event::wait(event.get(), 0));
  SetEvent(event.get());
  EXPECT_TRUE(win32_event::wait(event.get(), -1));  // manual reset: stays signalled
  EXPECT_TRUE(win32_event::wait(event.get(), 0));
  try {
    win32_event::wait(nullptr, 0);
    FAIL() << "no exception";
  } catch (const exception_win32& e) {
    EXPECT_EQ(e.code(), static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));
  }
  HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
  std::thread([mutex] { WaitForSingleObject(mutex, INFINITE); }).join();  // the owner ends without releasing
  EXPECT_THROW(win32_event::wait(mutex, 1), qiv::exception_bug_check);
  CloseHandle(mutex);
}

TEST(Win32Handles, ClosingClearsOnlySetHandles) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE duplicate;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &duplicate, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  win32_handle_close(event);
  EXPECT_EQ(event, nullptr);
  DWORD flags;
  EXPECT_TRUE(GetHandleInformation(duplicate, &flags));  // only the closed handle went
  HANDLE invalid = INVALID_HANDLE_VALUE;
  win32_handle_close(invalid);
  EXPECT_EQ(invalid, nullptr);
  win32_handle owner(duplicate);
  owner.reset();
  EXPECT_FALSE(GetHandleInformation(duplicate, &flags));
}

} // namespace
