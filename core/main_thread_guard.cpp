#include "core/main_thread_guard.h"

#include <atomic>

#include "foundation/crash.h"
#include "foundation/main_thread.h"

namespace {
std::atomic<bool> listener_dispatch_active{false};
}

namespace main_thread_guard {

void check() {
  if (!is_main_thread() || listener_dispatch_active.load()) qiv::crash();
}

} // namespace main_thread_guard

namespace playback_event_dispatch_flag {

bool set(bool active) noexcept { return listener_dispatch_active.exchange(active); }

bool get() noexcept { return listener_dispatch_active.load(); }

} // namespace playback_event_dispatch_flag
