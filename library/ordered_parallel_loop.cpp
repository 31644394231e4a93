#include "library/ordered_parallel_loop.h"

#include <windows.h>

#include <atomic>
#include <exception>
#include <memory>
#include <vector>

#include "foundation/thread.h"

namespace {

constexpr std::uint32_t none = ~std::uint32_t(0);

// The shared state of one run. Waiting goes through a slim lock and a
// condition variable, which Wine serves in the process: events would cost
// server round trips per step.
class ordered_run {
public:
  ordered_run(std::uint32_t count, const std::function<void(std::uint32_t)>& load)
      : count_(count), load_(load), done_(new std::atomic<bool>[count]), failures_(count) {
    for (std::uint32_t i = 0; i < count; ++i) done_[i].store(false, std::memory_order_relaxed);
  }

  // Loads the next unclaimed step; false when none is left or the run stops.
  bool load_next() noexcept {
    if (stopping_.load(std::memory_order_relaxed)) return false;
    const std::uint32_t i = next_.fetch_add(1);
    if (i >= count_) return false;
    try {
      load_(i);
    } catch (...) {
      failures_[i] = std::current_exception();
      stopping_.store(true);
    }
    AcquireSRWLockExclusive(&lock_);
    done_[i].store(true, std::memory_order_release);
    if (awaited_ == i) WakeConditionVariable(&ready_);
    ReleaseSRWLockExclusive(&lock_);
    return true;
  }

  // On the calling thread: lends a hand while step i is not done, then
  // waits for it; rethrows its failure.
  void finish(std::uint32_t i) {
    while (!done_[i].load(std::memory_order_acquire)) {
      if (load_next()) continue;
      AcquireSRWLockExclusive(&lock_);
      awaited_ = i;
      while (!done_[i].load(std::memory_order_acquire)) SleepConditionVariableSRW(&ready_, &lock_, INFINITE, 0);
      awaited_ = none;
      ReleaseSRWLockExclusive(&lock_);
    }
    if (failures_[i]) std::rethrow_exception(failures_[i]);
  }

  void stop() noexcept { stopping_.store(true); }

private:
  const std::uint32_t count_;
  const std::function<void(std::uint32_t)>& load_;
  std::atomic<std::uint32_t> next_{0};
  std::atomic<bool> stopping_{false};
  std::unique_ptr<std::atomic<bool>[]> done_;
  std::vector<std::exception_ptr> failures_;  // failures_[i] is written by the loader of i only
  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE ready_ = CONDITION_VARIABLE_INIT;
  std::uint32_t awaited_ = none;  // under lock_
};

class helper_thread : public qiv::thread {
public:
  explicit helper_thread(ordered_run& run) : run_(run) {}
  ~helper_thread() override { wait_till_done(); }

private:
  void run() override {
    while (run_.load_next()) {
    }
  }
  ordered_run& run_;
};

}  // namespace

void run_ordered_parallel(std::uint32_t count, std::uint32_t helpers, const std::function<void(std::uint32_t)>& load,
                          const std::function<void(std::uint32_t)>& apply) {
  ordered_run run(count, load);
  std::vector<std::unique_ptr<helper_thread>> threads;  // declared after `run`: joined before it goes
  struct stop_on_leave {
    ordered_run& run;
    ~stop_on_leave() { run.stop(); }
  } stop{run};
  // Threads that cannot be had leave the work to those that could.
  for (std::uint32_t t = 0; t < helpers && t + 1 < count; ++t) {
    try {
      threads.push_back(std::make_unique<helper_thread>(run));
      threads.back()->start();
    } catch (const std::exception&) {
      if (!threads.empty()) threads.pop_back();
      break;
    }
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    run.finish(i);
    apply(i);
  }
}
