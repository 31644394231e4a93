#include "core/main_thread_timer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr std::uint64_t second = 10'000'000;
// Some moment in 2024, in 100-ns units since 1601, half a second past a whole second.
constexpr std::uint64_t t0 = 133'500'000'000'000'000ull + 5'000'000;
constexpr std::uint64_t start = t0 - 5'000'000;

struct recording_callback : timer_callback {
  void on_timer(std::uint64_t time) override { calls.push_back(time); }
  std::vector<std::uint64_t> calls;
};

// Each tick in turn, with the boundaries the callback has been called for since.
TEST(TimerSchedule, FiresOncePerWholeBoundaryEvenAfterMissedOnesOrAClockSetBack) {
  timer_schedule schedule;
  recording_callback callback;
  schedule.add(&callback, second, t0);
  const struct {
    std::uint64_t now;
    std::vector<std::uint64_t> fired;
    const char* why;
  } ticks[] = {
      {start + second - 1, {}, "just before the next boundary"},
      {start + second, {start + second}, "on the boundary"},
      {start + 5 * second + 1, {start + 5 * second}, "a busy main thread: once, for the latest boundary"},
      {start - 3600 * second, {start - 3600 * second}, "a clock set back fires at once, not after an hour"},
      {start - 3599 * second, {start - 3599 * second}, "and keeps the new time's pace"},
  };
  std::size_t seen = 1;  // adding fired once, for the current boundary
  ASSERT_EQ(callback.calls, std::vector<std::uint64_t>{start});
  for (const auto& t : ticks) {
    schedule.tick(t.now);
    EXPECT_EQ(std::vector<std::uint64_t>(callback.calls.begin() + seen, callback.calls.end()), t.fired) << t.why;
    seen = callback.calls.size();
  }
}

}  // namespace
