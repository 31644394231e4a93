// Slow work of a window (copying files, scanning, reading tags) on a thread of
// its own, with the result handed back to the main thread as a call of
// on_done. A completion never reaches an object that has started a new job or
// has ended: each run gets its own counted completion handle, and starting
// again or ending disconnects the old one before anything else happens.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>

#include "core/abort_signal.h"
#include "foundation/refcounted.h"

class background_worker;

// The link from a queued completion back to its worker. The queue may hold
// it after the worker has moved on; disconnect makes any later call a no-op.
class completion_handle final : public qiv::refcounted_object {
public:
  completion_handle(background_worker* target, std::uint32_t context) noexcept
      : target_(target), context_(context) {}

  // Main thread.
  void call(std::int32_t result);
  void disconnect() noexcept {
    target_ = nullptr;
    context_ = 0;
  }
  bool is_connected() const noexcept { return target_ != nullptr; }

private:
  background_worker* target_;
  std::uint32_t context_;
};

class background_worker {
public:
  background_worker();
  background_worker(const background_worker&) = delete;
  background_worker& operator=(const background_worker&) = delete;
  // Raises the abort signal and waits for a running job: no completion
  // follows. A derived class whose run reads its own members must call
  // stop_and_wait in its own destructor, before those members go.
  virtual ~background_worker();

  // Main thread. Aborts and waits for a job still running (its queued
  // completion, if any, then does nothing), then runs `run` on a new thread.
  // Throws exception_win32 when the thread cannot be created.
  void start();

  // Main thread: the queued result of the current job arrived. Waits for the
  // thread to end, then calls on_done. Without a job it does nothing.
  virtual void complete(std::int32_t result);

  bool is_running() const noexcept { return thread_ != nullptr; }

protected:
  // The work, on the worker thread. It must end in bounded time once the
  // signal is raised. An exception that escapes it makes the result -1.
  virtual std::int32_t run(const abort_signal& abort);
  // The reaction on the main thread.
  virtual void on_done(std::int32_t /*result*/) {}

  // Raises the abort signal, waits for the thread and disconnects every
  // handle, so that no completion follows. Main thread.
  void stop_and_wait() noexcept;

private:
  static DWORD WINAPI thread_entry(void* self) noexcept;
  void join_thread() noexcept;
  void disconnect_all() noexcept;

  raisable_abort_signal abort_;
  HANDLE thread_ = nullptr;
  qiv::ref_ptr<completion_handle> current_;
  // Handles that may still fire, by key; this worker uses key 0 only.
  std::map<std::uint32_t, qiv::ref_ptr<completion_handle>> pending_;
};
