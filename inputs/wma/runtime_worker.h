// The Windows Media runtime's calls, made on a thread of their own: the
// platform's decoder can stop for good inside a damaged file, and such a
// call must cost the caller a bounded wait and a clear error, not a hang.
// Once a call has not come back, the objects it was working on are never
// touched again (their owner leaks them); the worker takes no more calls.
#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "core/abort_signal.h"

namespace wma {

class runtime_worker {
public:
  // How long one call may take before the runtime counts as stuck.
  static constexpr unsigned answer_limit_ms = 10000;

  runtime_worker();
  // Ends the thread, or leaves a stuck one behind.
  ~runtime_worker();
  runtime_worker(const runtime_worker&) = delete;
  runtime_worker& operator=(const runtime_worker&) = delete;

  // Runs `call` on the worker thread (where COM is initialised for it) and
  // waits for it; its exception reaches the caller. The call and everything
  // it holds are destroyed on the worker, so interfaces it releases are
  // released there. A call that does not come back within the limit throws
  // exception_io; an abort while waiting throws exception_aborted; both make
  // the worker stuck. `call` must hold by value whatever it uses, since a
  // stuck call may come back after its caller is gone.
  void run(std::function<void()> call, const abort_signal& abort);
  bool stuck() const noexcept { return stuck_; }

private:
  struct shared;
  static void thread_main(std::shared_ptr<shared> state) noexcept;

  std::shared_ptr<shared> shared_;
  std::thread thread_;
  bool stuck_ = false;
};

}  // namespace wma
