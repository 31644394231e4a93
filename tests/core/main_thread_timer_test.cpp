#include "core/main_thread_timer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>


namespace {

constexpr std::uint64_t second = 10'000'000;
// Some moment in 2024, in 100-ns units since 1601, half a second past a whole second.
constexpr std::uint64_t t0 = 133'500'000'000'000'000ull + 5'000'000;

class recording_callback : public timer_callback {
public:
  void on_timer(std::uint64_t time) override {
    calls.push_back(time);
    if (on_call) on_call();
  }
  std::vector<std::uint64_t> calls;
  std::function<void()> on_call;
};

std::uint64_t boundary_of(std::uint64_t now, std::uint64_t period) { return now - now % period; }

TEST(TimerSchedule, FiresAtOnceWhenAddedThenOncePerBoundaryAndOnceAfterSeveralMissedOnes) {
  timer_schedule schedule;
  recording_callback callback;
  const std::uint64_t start = boundary_of(t0, second);
  schedule.add(&callback, second, t0);
  EXPECT_EQ(callback.calls, (std::vector<std::uint64_t>{start}));
  schedule.tick(t0 + 1);
  schedule.tick(start + second - 1);
  EXPECT_EQ(callback.calls.size(), 1u);

  schedule.tick(start + second);
  schedule.tick(start + second + 4'000'000);
  EXPECT_EQ(callback.calls, (std::vector<std::uint64_t>{start, start + second}));

  // The main thread was busy for several seconds: one call, for the latest boundary.
  schedule.tick(start + 5 * second + 1);
  EXPECT_EQ(callback.calls.back(), start + 5 * second);
  EXPECT_EQ(callback.calls.size(), 3u);
}

TEST(TimerSchedule, ReAddingReplacesThePeriodAndFiresAgainAtOnce) {
  timer_schedule schedule;
  recording_callback callback;
  schedule.add(&callback, second, t0);
  schedule.add(&callback, 60 * second, t0);
  ASSERT_EQ(callback.calls.size(), 2u);
  EXPECT_EQ(callback.calls[1], boundary_of(t0, 60 * second));

  schedule.tick(t0 + 2 * second);
  EXPECT_EQ(callback.calls.size(), 2u);
  schedule.tick(boundary_of(t0, 60 * second) + 60 * second);
  EXPECT_EQ(callback.calls.size(), 3u);
}

TEST(TimerSchedule, CallbacksThatRemoveThemselvesOrOthersDoNotDisturbTheVisit) {
  timer_schedule schedule;
  recording_callback callbacks[6];  // ascending addresses: the visiting order
  for (auto& callback : callbacks) schedule.add(&callback, second, t0);
  callbacks[2].on_call = [&] { schedule.remove(&callbacks[2]); };
  callbacks[3].on_call = [&] { schedule.remove(&callbacks[4]); };

  schedule.tick(t0 + second);
  const std::size_t expected_calls[6] = {2, 2, 2, 2, 1, 2};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(callbacks[i].calls.size(), expected_calls[i]) << "callback " << i;

  schedule.tick(t0 + 2 * second);
  const std::size_t after_removal[6] = {3, 3, 2, 3, 1, 3};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(callbacks[i].calls.size(), after_removal[i]) << "callback " << i;
}

TEST(TimerSchedule, AClockSetBackFiresAtOnceInsteadOfFallingSilentUntilItCatchesUp) {
  timer_schedule schedule;
  recording_callback callback;
  schedule.add(&callback, second, t0);
  schedule.tick(t0 - 3600 * second);
  ASSERT_EQ(callback.calls.size(), 2u);
  EXPECT_EQ(callback.calls[1], boundary_of(t0 - 3600 * second, second));
  // And from there it keeps the new time's pace.
  schedule.tick(t0 - 3599 * second);
  EXPECT_EQ(callback.calls.size(), 3u);
}

TEST(TimerSchedule, ACallbackWhoseFirstCallThrowsIsLeftUnregistered) {
  timer_schedule schedule;
  recording_callback callback;
  callback.on_call = [] { throw std::runtime_error("first call failed"); };
  EXPECT_THROW(schedule.add(&callback, second, t0), std::runtime_error);
  EXPECT_TRUE(schedule.is_empty());
  callback.on_call = nullptr;
  schedule.tick(t0 + 10 * second);
  EXPECT_EQ(callback.calls.size(), 1u);
}

std::uint64_t system_time_now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// Dispatches this thread's messages for about `milliseconds`; answers how
// many thread-timer messages (timers without a window) came by.
int pump_for(DWORD milliseconds) {
  int timer_messages = 0;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_TIMER && message.hwnd == nullptr) ++timer_messages;
      DispatchMessageW(&message);
    }
  }
  return timer_messages;
}

TEST(MainThreadTimer, APeriodOfOneSecondIsTheShortestAccepted) {
  recording_callback callback;
  EXPECT_THROW(main_thread_timer::get().add(&callback, 9'999'999), qiv::exception_invalid_params);
  EXPECT_TRUE(callback.calls.empty());

  main_thread_timer::get().add(&callback, 10'000'000);
  EXPECT_EQ(callback.calls.size(), 1u);
  main_thread_timer::get().remove(&callback);
}

TEST(MainThreadTimer, FiresSoonAfterEachWholeSecondOfSystemTime) {
  struct : timer_callback {
    void on_timer(std::uint64_t time) override {
      boundaries.push_back(time);
      lateness.push_back(system_time_now() - time);
    }
    std::vector<std::uint64_t> boundaries;
    std::vector<std::uint64_t> lateness;
  } callback;
  main_thread_timer::get().add(&callback, second);
  pump_for(3200);
  main_thread_timer::get().remove(&callback);

  ASSERT_GE(callback.boundaries.size(), 3u);
  for (std::size_t i = 1; i < callback.boundaries.size(); ++i) {
    EXPECT_EQ(callback.boundaries[i] % second, 0u);
    EXPECT_EQ(callback.boundaries[i] - callback.boundaries[i - 1], second);
    // Nominally within the 500 ms tick; the bound allows a slow machine.
    EXPECT_LT(callback.lateness[i], 15'000'000u);
  }
}

TEST(MainThreadTimer, RemovingTheLastCallbackStopsTheTimerAndAddingOneRestartsIt) {
  recording_callback first, second_callback;
  main_thread_timer::get().add(&first, second);
  main_thread_timer::get().add(&second_callback, second);
  main_thread_timer::get().remove(&first);
  EXPECT_GT(pump_for(1200), 0);

  main_thread_timer::get().remove(&second_callback);
  EXPECT_EQ(pump_for(1200), 0);

  main_thread_timer::get().add(&first, second);
  EXPECT_GT(pump_for(1200), 0);
  main_thread_timer::get().remove(&first);
}

}  // namespace
