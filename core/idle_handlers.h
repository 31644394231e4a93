// Idle handlers: work that waits until the main thread has nothing else to
// do (refreshing views after a burst of changes, deferred saves).
#pragma once

#include "foundation/array.h"

class idle_handler {
public:
  // Called each time the message queue has become empty after real work.
  virtual void on_idle() = 0;

protected:
  ~idle_handler() = default;
};

// Main thread only.
class idle_handler_list {
public:
  // The newest handler runs first in a pass. A handler added during a pass
  // runs from the next pass on.
  void add(idle_handler* handler);
  // Removes every registration of the handler; when a pass is running, the
  // handler is not called again in it.
  void remove(idle_handler* handler) noexcept;

  // Calls every handler registered when the pass began.
  void run_pass();

private:
  qiv::array<idle_handler*> registered_;  // newest first
  // The pass walks a copy, so handlers may register and unregister freely.
  qiv::array<idle_handler*> running_;
};
