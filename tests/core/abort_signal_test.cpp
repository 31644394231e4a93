#include "core/abort_signal.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <type_traits>

#include "core/io_exception_base.h"

namespace {

// Code that tolerates I/O failures must still stop when cancelled.
static_assert(!std::is_base_of_v<vantrel_io::exception_io, vantrel_io::exception_aborted>);

// Raise, reset and raise again: the flag, the throwing checks, the polls and
// the event that the file layer waits on beside its own I/O event.
TEST(AbortSignal, ChecksPollsAndTheEventFollowEachRaiseAndReset) {
  raisable_abort_signal signal;
  win32_event io_done;
  io_done.create();
  const HANDLE objects[] = {io_done.get(), signal.get_event()};
  for (int round = 0; round < 2; ++round) {
    EXPECT_FALSE(signal.is_set());
    EXPECT_NO_THROW(signal.check_and_throw());
    EXPECT_NO_THROW(signal.sleep(0));
    EXPECT_TRUE(signal.wait(0));
    EXPECT_EQ(WaitForMultipleObjects(2, objects, FALSE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    signal.raise();
    EXPECT_TRUE(signal.is_set());
    EXPECT_THROW(signal.check_and_throw(), vantrel_io::exception_aborted);
    EXPECT_THROW(signal.sleep(0), vantrel_io::exception_aborted);
    EXPECT_FALSE(signal.wait(0));
    EXPECT_EQ(WaitForMultipleObjects(2, objects, FALSE, 0), static_cast<DWORD>(WAIT_OBJECT_0 + 1));
    signal.reset();
  }
}

// Promptly: far below what the waiting worker asked for.
TEST(AbortSignal, RaisingFromAnotherThreadEndsLongAndUnlimitedWaits) {
  raisable_abort_signal signal;
  std::atomic<int> ended{0};
  std::thread sleeper([&] {
    try {
      signal.sleep(60);
    } catch (const vantrel_io::exception_aborted&) {
      ++ended;
    }
  });
  std::thread waiter([&] {
    if (!signal.wait(-1)) ++ended;
  });
  Sleep(50);
  const auto start = std::chrono::steady_clock::now();
  signal.raise();
  sleeper.join();
  waiter.join();
  EXPECT_EQ(ended.load(), 2);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

} // namespace
