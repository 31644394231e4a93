// Steps loaded on several threads and applied on the caller in order: the
// order holds, every step is applied once, and a failure stops the run at
// its own step whichever thread met it.
#include "library/ordered_parallel_loop.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <set>
#include <stdexcept>
#include <vector>

namespace {

struct recorded_run {
  std::vector<std::uint32_t> applied;
  std::vector<std::atomic<int>> loads;
  std::set<DWORD> load_threads;
  explicit recorded_run(std::uint32_t count) : loads(count) {}
};

TEST(OrderedParallelLoop, AppliesEveryStepOnceInOrderOnTheCallingThread) {
  for (const std::uint32_t helpers : {0u, 1u, 3u, 7u}) {
    for (const std::uint32_t count : {0u, 1u, 2u, 500u}) {
      recorded_run run(count);
      std::vector<std::uint32_t> loaded_value(count);
      const DWORD caller = GetCurrentThreadId();
      bool applied_elsewhere = false;
      run_ordered_parallel(
          count, helpers,
          [&](std::uint32_t i) {
            ++run.loads[i];
            if (i % 50 == 0) Sleep(1);  // late steps must still be applied in order
            loaded_value[i] = i * 3;
          },
          [&](std::uint32_t i) {
            applied_elsewhere |= GetCurrentThreadId() != caller;
            EXPECT_EQ(loaded_value[i], i * 3) << "applied before its load was done";
            run.applied.push_back(i);
          });
      ASSERT_EQ(run.applied.size(), count) << helpers << " helpers";
      for (std::uint32_t i = 0; i < count; ++i) {
        EXPECT_EQ(run.applied[i], i);
        EXPECT_EQ(run.loads[i].load(), 1) << "step " << i << " loaded once";
      }
      EXPECT_FALSE(applied_elsewhere);
    }
  }
}

TEST(OrderedParallelLoop, AFailedLoadStopsTheRunAtItsStep) {
  for (const std::uint32_t helpers : {0u, 3u}) {
    std::vector<std::uint32_t> applied;
    EXPECT_THROW(run_ordered_parallel(
                     1000, helpers,
                     [&](std::uint32_t i) {
                       if (i == 400) throw std::runtime_error("load failed");
                     },
                     [&](std::uint32_t i) { applied.push_back(i); }),
                 std::runtime_error);
    ASSERT_EQ(applied.size(), 400u) << "every step before the failed one, none after";
    EXPECT_EQ(applied.back(), 399u);
  }
}

TEST(OrderedParallelLoop, AFailedApplyStopsTheRunAndJoinsTheHelpers) {
  std::atomic<int> loading{0};
  std::vector<std::uint32_t> applied;
  EXPECT_THROW(run_ordered_parallel(
                   1000, 3,
                   [&](std::uint32_t) {
                     ++loading;
                     Sleep(0);
                     --loading;
                   },
                   [&](std::uint32_t i) {
                     if (i == 10) throw std::runtime_error("apply failed");
                     applied.push_back(i);
                   }),
               std::runtime_error);
  EXPECT_EQ(applied.size(), 10u);
  EXPECT_EQ(loading.load(), 0) << "no helper still runs once the call has returned";
}

}  // namespace
