// A mutex and a condition variable on the system's slim reader/writer lock
// and condition variable. Under Wine these wait and wake inside the process;
// std::mutex and std::condition_variable of this toolchain wait on events and
// semaphores, which cost server round trips at every hand-off between
// threads (a batch that hands each of many files to another thread pays
// that per file).
#pragma once

#include <windows.h>

#include <mutex>

namespace qiv {

// Exclusive only, not recursive; works with std::lock_guard and
// std::unique_lock.
class slim_mutex {
public:
  slim_mutex() noexcept = default;
  slim_mutex(const slim_mutex&) = delete;
  slim_mutex& operator=(const slim_mutex&) = delete;

  void lock() noexcept { AcquireSRWLockExclusive(&lock_); }
  bool try_lock() noexcept { return TryAcquireSRWLockExclusive(&lock_) != 0; }
  void unlock() noexcept { ReleaseSRWLockExclusive(&lock_); }

private:
  friend class slim_condition;
  SRWLOCK lock_ = SRWLOCK_INIT;
};

class slim_condition {
public:
  slim_condition() noexcept = default;
  slim_condition(const slim_condition&) = delete;
  slim_condition& operator=(const slim_condition&) = delete;

  // Waits, the mutex released meanwhile, until `ready()` holds; `hold` must
  // own the mutex.
  template <typename predicate>
  void wait(std::unique_lock<slim_mutex>& hold, predicate ready) {
    while (!ready()) SleepConditionVariableSRW(&condition_, &hold.mutex()->lock_, INFINITE, 0);
  }

  void notify_one() noexcept { WakeConditionVariable(&condition_); }
  void notify_all() noexcept { WakeAllConditionVariable(&condition_); }

private:
  CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
};

}  // namespace qiv
