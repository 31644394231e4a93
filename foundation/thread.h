// A worker thread owned by an object: derive from qiv::thread, override run,
// call start. The owner starts and joins it; nothing else touches the handle.
#pragma once

#include "foundation/exceptions.h"

namespace qiv {

class thread {
public:
  class exception_creation : public exception_with_message {
  public:
    exception_creation() noexcept : exception_with_message("Could not create thread") {}
  };

  thread() noexcept = default;
  thread(const thread&) = delete;
  thread& operator=(const thread&) = delete;

  // Joins the thread. A derived class whose run reads its own members must
  // stop and join it in its own destructor (raise its abort signal, then
  // wait_till_done): by the time this base destructor runs, they are gone.
  virtual ~thread();

  // Runs run() on a new thread at the caller's priority, first joining a
  // thread that an earlier start left. Throws exception_creation.
  void start();

  // Joins the thread if one was started, lending it the caller's priority
  // when that is higher so a low-priority worker cannot stall its joiner.
  void wait_till_done() noexcept;

protected:
  // Runs on the new thread. An exception that leaves it is dropped, since it
  // cannot cross the thread entry; a run that must report failure stores it
  // for the joining thread.
  virtual void run() {}

private:
  static unsigned __stdcall entry(void* self) noexcept;

  void* handle_ = nullptr;  // the thread's HANDLE; null while no thread was started
};

} // namespace qiv
