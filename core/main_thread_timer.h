// Periodic calls on the main thread (clocks, elapsed-time displays, deferred
// refreshes) once a second or slower. One thread timer serves every
// callback; each fires on the boundaries of its period in absolute system
// time, so callbacks with the same period tick together.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/service_object.h"
#include "foundation/avl_tree.h"

class timer_callback {
public:
  // `time`: the boundary that fell due, in 100-ns units since 1601-01-01 UTC
  // (the system time format), a whole multiple of the period.
  virtual void on_timer(std::uint64_t time) = 0;

protected:
  ~timer_callback() = default;
};

// The registered callbacks and the rule that decides which are due. The
// caller supplies the time, so the rule is the same for every clock.
class timer_schedule {
public:
  // Registers the callback, or gives a registered one its new period, and
  // calls it at once with the boundary of `now`. When that first call
  // throws, the callback is left unregistered.
  void add(timer_callback* callback, std::uint64_t period, std::uint64_t now);
  // Answers whether the callback was registered.
  bool remove(timer_callback* callback);
  // Calls every callback whose next boundary has come, in the order of their
  // addresses. A callback may add or remove callbacks, itself included.
  void tick(std::uint64_t now);
  bool is_empty() const noexcept { return entries_.is_empty(); }

private:
  struct entry final : qiv::avl_counted_node<entry> {
    explicit entry(timer_callback* callback) : key(callback) {}
    timer_callback* const key;
    std::uint64_t period = 0;
    std::uint64_t last_boundary = 0;
  };
  struct address_order {
    int operator()(const timer_callback* a, const timer_callback* b) const noexcept {
      const auto x = reinterpret_cast<std::uintptr_t>(a);
      const auto y = reinterpret_cast<std::uintptr_t>(b);
      return (x > y) - (x < y);
    }
  };

  static void fire_if_due(entry& due, std::uint64_t now);
  entry* next_after(const entry* visited) const noexcept;

  qiv::avl_tree<entry, address_order> entries_;
};

// The process's timer service. Main thread only: a call from another thread
// is a fatal internal error. The service keeps no reference on a callback;
// its owner removes it before it goes away.
class main_thread_timer : public service_object {
public:
  static constexpr GUID class_guid = {0xDC5D4938, 0x7927, 0x48BA, {0xBF, 0x84, 0xDA, 0x2F, 0xB1, 0x0B, 0x36, 0xF2}};
  using service_parent = service_object;

  // One second, the shortest period: the timer ticks every 500 ms.
  static constexpr std::uint64_t minimum_period = 10'000'000;
  static constexpr UINT tick_interval_ms = 500;

  // A period below minimum_period throws qiv::exception_invalid_params and
  // registers nothing. Starts the thread timer when it is not running.
  virtual void add(timer_callback* callback, std::uint64_t period) = 0;
  // Stops the thread timer when no callback is left.
  virtual void remove(timer_callback* callback) = 0;

  static main_thread_timer& get() noexcept;
};
