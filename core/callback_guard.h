// C++ exceptions cannot unwind through Win32 frames with this toolchain (they
// hang or terminate). Every window procedure, dialog procedure and timer
// callback runs its body through guard_callback: an exception is kept and the
// message loop rethrows it once DispatchMessageW has returned.
#pragma once

#include <exception>
#include <utility>

namespace callback_guard {

void store_pending(std::exception_ptr error) noexcept;

// Rethrows the exception a callback of this thread stored, if any.
void rethrow_pending();

} // namespace callback_guard

template <class Result, class Body>
Result guard_callback(Result failure_result, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    callback_guard::store_pending(std::current_exception());
    return failure_result;
  }
}
