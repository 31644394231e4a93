#include "core/callback_guard.h"

#include <new>

namespace callback_guard {
namespace {
// A pointer, not the exception_ptr itself: no thread-local object of the
// program may have a destructor. With this toolchain the first one makes the
// runtime keep a static whose destructor, at process exit, takes the
// thread-key lock's write side; a worker thread ending at that moment holds
// the read side while it runs its own thread-local destructors, and the exit
// could wait on it for ever.
thread_local std::exception_ptr* pending = nullptr;
}  // namespace

void store_pending(std::exception_ptr error) noexcept {
  // The first failure is the one worth reporting; later ones are consequences.
  if (pending == nullptr) pending = new (std::nothrow) std::exception_ptr(std::move(error));
}

void rethrow_pending() {
  if (pending == nullptr) return;
  std::exception_ptr error = std::move(*pending);
  delete pending;
  pending = nullptr;
  std::rethrow_exception(error);
}

} // namespace callback_guard
