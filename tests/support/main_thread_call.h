// A main-thread callback that runs a function, for tests that post work to
// the main thread's queue.
#pragma once

#include <functional>
#include <utility>

#include "core/main_thread_queue.h"

class main_thread_call : public main_thread_callback {
public:
  explicit main_thread_call(std::function<void()> function) : function_(std::move(function)) {}
  void run() override { function_(); }

private:
  std::function<void()> function_;
};
