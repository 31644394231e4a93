// Cancellation of file operations and long tasks. Every such operation takes
// an abort_signal: polling code asks is_set (or check_and_throw), waiting code
// waits on the event together with its own objects or timeout. A raised
// signal ends the work with vantrel_io::exception_aborted ("User abort").
#pragma once

#include <windows.h>

#include <atomic>

#include "foundation/win32_handles.h"

class abort_signal {
public:
  virtual bool is_set() const = 0;
  // A manual-reset event that is signalled once the signal is raised.
  virtual HANDLE get_event() const = 0;

  // Throws vantrel_io::exception_aborted when the signal is raised.
  void check_and_throw() const;

  // Waits on the event for at most `seconds` (negative: without limit; a
  // tiny positive time still waits 1 ms). True when the time ran out, false
  // when the signal was raised. A failed wait throws exception_win32.
  bool wait(double seconds) const;

  // As wait, but a raised signal throws vantrel_io::exception_aborted.
  void sleep(double seconds) const;

protected:
  abort_signal() = default;
  // Owners embed signals as members; nobody deletes one through this base.
  ~abort_signal() = default;
};

// The signal an owner raises to cancel the work it started, and resets
// before it starts a new run. Raised on one thread, read on any number.
class raisable_abort_signal final : public abort_signal {
public:
  // Throws exception_win32 when the event cannot be created.
  raisable_abort_signal();
  raisable_abort_signal(const raisable_abort_signal&) = delete;
  raisable_abort_signal& operator=(const raisable_abort_signal&) = delete;

  bool is_set() const override { return flag_.load(); }
  HANDLE get_event() const override { return event_.get(); }

  // The flag goes first: a thread woken by the event must already see it set.
  void raise();
  void reset();

private:
  std::atomic<bool> flag_{false};
  win32_event event_;
};

// The signal for work that cannot be cancelled (the configuration store, the
// library's own files): never raised, its event never signalled.
const abort_signal& never_raised_abort_signal();
