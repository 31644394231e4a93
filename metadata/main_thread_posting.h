// Telling a counted object something on the main thread from any thread:
// the request becomes a main_thread_callback that holds the object alive
// until it has run.
#pragma once

#include <cstdint>

#include "core/main_thread_queue.h"
#include "core/service_object.h"

class main_thread_target : public service_object {
public:
  // Runs on the main thread, after the poster has returned.
  virtual void on_main_thread(std::uint32_t argument) = 0;

  // Posts on_main_thread(argument) to this object.
  void post_callback_from_worker(std::uint32_t argument);

protected:
  ~main_thread_target() = default;
};

namespace main_thread_posting {
// A null target posts nothing. The queue service is the process's single
// main_thread_queue in the registry.
void post_callback(main_thread_target* target, std::uint32_t argument);
}  // namespace main_thread_posting
