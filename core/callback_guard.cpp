#include "core/callback_guard.h"

namespace callback_guard {
namespace {
thread_local std::exception_ptr pending;
}

void store_pending(std::exception_ptr error) noexcept {
  // The first failure is the one worth reporting; later ones are consequences.
  if (!pending) pending = std::move(error);
}

void rethrow_pending() {
  if (!pending) return;
  std::exception_ptr error = std::move(pending);
  pending = nullptr;
  std::rethrow_exception(error);
}

} // namespace callback_guard
