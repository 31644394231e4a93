#include "core/abort_signal.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <type_traits>

#include "core/io_exception_base.h"

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

TEST(AbortException, IsNotCaughtAsAnIoFailure) {
  // Code that tolerates I/O failures must still stop when cancelled.
  static_assert(!std::is_base_of_v<vantrel_io::exception_io, vantrel_io::exception_aborted>);
  static_assert(std::is_base_of_v<std::exception, vantrel_io::exception_aborted>);
  EXPECT_STREQ(vantrel_io::exception_aborted().what(), "User abort");
}

TEST(AbortSignal, ChecksThrowOnlyWhileRaised) {
  raisable_abort_signal signal;
  EXPECT_FALSE(signal.is_set());
  EXPECT_NO_THROW(signal.check_and_throw());
  signal.raise();
  EXPECT_TRUE(signal.is_set());
  try {
    signal.check_and_throw();
    FAIL() << "no exception";
  } catch (const vantrel_io::exception_aborted& e) {
    EXPECT_STREQ(e.what(), "User abort");
  }
}

TEST(AbortSignal, ZeroSleepPollsTheSignal) {
  raisable_abort_signal signal;
  EXPECT_NO_THROW(signal.sleep(0));
  EXPECT_TRUE(signal.wait(0));
  signal.raise();
  EXPECT_THROW(signal.sleep(0), vantrel_io::exception_aborted);
  EXPECT_FALSE(signal.wait(0));
}

TEST(AbortSignal, TinyPositiveSleepWaitsRatherThanPolls) {
  raisable_abort_signal signal;
  const auto start = clock_type::now();
  signal.sleep(0.0004);
  // A poll returns within microseconds; the rounded-up millisecond is
  // checked with a generous margin for the timer's granularity.
  EXPECT_GE(seconds_since(start), 0.0005);
}

TEST(AbortSignal, TimedWaitOnAClearSignalRunsOut) {
  raisable_abort_signal signal;
  const auto start = clock_type::now();
  EXPECT_TRUE(signal.wait(0.05));
  EXPECT_GE(seconds_since(start), 0.03);
}

TEST(AbortSignal, RaisingFromAnotherThreadEndsAnUnlimitedWait) {
  raisable_abort_signal signal;
  std::thread raiser([&] {
    Sleep(50);
    signal.raise();
  });
  const auto start = clock_type::now();
  EXPECT_FALSE(signal.wait(-1));
  raiser.join();
  EXPECT_TRUE(signal.is_set());
  EXPECT_LT(seconds_since(start), 10.0);
}

TEST(AbortSignal, WorkerSleepingOnTheSignalStopsWithUserAbortWhenRaised) {
  raisable_abort_signal signal;
  std::atomic<bool> started{false};
  std::atomic<bool> aborted{false};
  std::thread worker([&] {
    started = true;
    try {
      signal.sleep(60);
    } catch (const vantrel_io::exception_aborted&) {
      aborted = true;
    }
  });
  while (!started) Sleep(1);
  const auto start = clock_type::now();
  signal.raise();
  worker.join();
  EXPECT_TRUE(aborted);
  // Promptly: far below the 60 s the worker asked to sleep.
  EXPECT_LT(seconds_since(start), 10.0);
}

TEST(AbortSignal, WorkerPollingTheFlagSeesTheRaise) {
  raisable_abort_signal signal;
  std::atomic<bool> aborted{false};
  std::thread worker([&] {
    try {
      for (;;) signal.check_and_throw();
    } catch (const vantrel_io::exception_aborted&) {
      aborted = true;
    }
  });
  Sleep(10);
  signal.raise();
  worker.join();
  EXPECT_TRUE(aborted);
}

TEST(AbortSignal, ResetSignalIsClearAndItsEventUnsignalled) {
  raisable_abort_signal signal;
  signal.raise();
  signal.reset();
  EXPECT_FALSE(signal.is_set());
  EXPECT_NO_THROW(signal.check_and_throw());
  EXPECT_TRUE(signal.wait(0.01));
  EXPECT_EQ(WaitForSingleObject(signal.get_event(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  // It can be raised again for the next run.
  signal.raise();
  EXPECT_EQ(WaitForSingleObject(signal.get_event(), 0), static_cast<DWORD>(WAIT_OBJECT_0));
}

TEST(AbortSignal, EventOfRaisedSignalWakesWaitsOnSeveralObjects) {
  // The file layer waits on its own I/O event together with the signal's.
  raisable_abort_signal signal;
  win32_event io_done;
  io_done.create();
  const HANDLE objects[] = {io_done.get(), signal.get_event()};
  EXPECT_EQ(WaitForMultipleObjects(2, objects, FALSE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  signal.raise();
  EXPECT_EQ(WaitForMultipleObjects(2, objects, FALSE, 0), static_cast<DWORD>(WAIT_OBJECT_0 + 1));
}

TEST(AbortSignal, FailedWaitThrowsTheWin32Error) {
  class broken_signal final : public abort_signal {
  public:
    bool is_set() const override { return false; }
    HANDLE get_event() const override { return nullptr; }
  };
  const broken_signal signal;
  EXPECT_THROW(signal.wait(0), exception_win32);
  EXPECT_THROW(signal.sleep(0), exception_win32);
}

TEST(NeverRaisedAbortSignal, NeverThrowsAndItsWaitsRunOut) {
  const abort_signal& signal = never_raised_abort_signal();
  EXPECT_FALSE(signal.is_set());
  EXPECT_NO_THROW(signal.check_and_throw());
  EXPECT_NO_THROW(signal.sleep(0));
  EXPECT_TRUE(signal.wait(0.01));
  ASSERT_NE(signal.get_event(), nullptr);
  EXPECT_EQ(WaitForSingleObject(signal.get_event(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(&never_raised_abort_signal(), &signal);
}

} // namespace
