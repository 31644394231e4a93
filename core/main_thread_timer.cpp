#include "core/main_thread_timer.h"

#include "core/callback_guard.h"
#include "core/service_factory.h"
#include "foundation/crash.h"
#include "foundation/main_thread.h"
#include "foundation/system_time.h"
#include "foundation/win32_error.h"

void timer_schedule::add(timer_callback* callback, std::uint64_t period, std::uint64_t now) {
  if (callback == nullptr || period == 0) qiv::throw_invalid_params();
  entry* added = entries_.insert(callback).node;
  added->period = period;
  added->last_boundary = 0;
  try {
    fire_if_due(*added, now);
  } catch (...) {
    // The caller learns that add failed and will not remove the callback:
    // keeping it would call it after its owner is gone.
    entries_.remove(callback);
    throw;
  }
}

bool timer_schedule::remove(timer_callback* callback) { return entries_.remove(callback); }

void timer_schedule::tick(std::uint64_t now) {
  entry* visiting = entries_.first();
  while (visiting != nullptr) {
    // Held, so that the entry survives its callback removing it.
    const qiv::ref_ptr<entry> hold(visiting);
    fire_if_due(*visiting, now);
    visiting = next_after(visiting);
  }
}

void timer_schedule::fire_if_due(entry& due, std::uint64_t now) {
  const std::uint64_t boundary = now - now % due.period;
  // A boundary before the last one means the clock was set back: fire at
  // once, instead of staying silent until the clock reaches the old time.
  if (boundary < due.last_boundary || boundary - due.last_boundary >= due.period) {
    due.last_boundary = boundary;
    due.key->on_timer(boundary);
  }
}

timer_schedule::entry* timer_schedule::next_after(const entry* visited) const noexcept {
  const bool still_in_tree = visited->parent() != nullptr || entries_.root() == visited;
  if (still_in_tree) return decltype(entries_)::step(visited, true);
  // The callback removed its own entry, whose links are gone: find the
  // smallest key above the visited one.
  entry* found = nullptr;
  for (entry* node = entries_.root(); node != nullptr;) {
    if (address_order{}(node->key, visited->key) > 0) {
      found = node;
      node = node->left();
    } else {
      node = node->right();
    }
  }
  return found;
}

namespace {

void CALLBACK tick_procedure(HWND, UINT, UINT_PTR, DWORD);

class main_thread_timer_impl : public main_thread_timer {
public:
  void add(timer_callback* callback, std::uint64_t period) override {
    if (!is_main_thread()) qiv::crash();
    if (period < minimum_period) qiv::throw_invalid_params();
    try {
      schedule_.add(callback, period, qiv::system_time_now());
    } catch (...) {
      stop_when_empty();
      throw;
    }
    if (timer_id_ != 0) return;
    timer_id_ = SetTimer(nullptr, 0, tick_interval_ms, tick_procedure);
    if (timer_id_ == 0) {
      // Without the timer the callback would never be called again.
      const DWORD error = GetLastError();
      schedule_.remove(callback);
      throw exception_win32(error);
    }
  }

  void remove(timer_callback* callback) override {
    if (!is_main_thread()) qiv::crash();
    schedule_.remove(callback);
    stop_when_empty();
  }

  void tick() { schedule_.tick(qiv::system_time_now()); }

private:
  void stop_when_empty() noexcept {
    if (!schedule_.is_empty() || timer_id_ == 0) return;
    KillTimer(nullptr, timer_id_);
    timer_id_ = 0;
  }

  timer_schedule schedule_;
  UINT_PTR timer_id_ = 0;
};

service_factory_single_t<main_thread_timer_impl> main_thread_timer_registration;

void CALLBACK tick_procedure(HWND, UINT, UINT_PTR, DWORD) {
  // A callback's exception ends this tick and leaves the message loop; the
  // next tick starts afresh.
  guard_callback<bool>(false, [] {
    main_thread_timer_registration.get_static_instance().tick();
    return true;
  });
}

}  // namespace

main_thread_timer& main_thread_timer::get() noexcept { return main_thread_timer_registration.get_static_instance(); }
