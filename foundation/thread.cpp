#include "foundation/thread.h"

#include <cstdint>

#include <windows.h>
#include <process.h>

namespace qiv {

thread::~thread() { wait_till_done(); }

void thread::start() {
  wait_till_done();
  const int priority = GetThreadPriority(GetCurrentThread());
  // Created suspended so that it never runs a single instruction at a
  // priority other than its creator's.
  const std::uintptr_t handle = _beginthreadex(nullptr, 0, &thread::entry, this, CREATE_SUSPENDED, nullptr);
  if (handle == 0) throw exception_creation();
  handle_ = reinterpret_cast<void*>(handle);
  SetThreadPriority(handle_, priority);
  ResumeThread(handle_);
}

void thread::wait_till_done() noexcept {
  if (!handle_) return;
  const int caller_priority = GetThreadPriority(GetCurrentThread());
  if (caller_priority > GetThreadPriority(handle_)) SetThreadPriority(handle_, caller_priority);
  WaitForSingleObject(handle_, INFINITE);
  CloseHandle(handle_);
  handle_ = nullptr;
}

unsigned __stdcall thread::entry(void* self) noexcept {
  // No exception may unwind through the runtime's thread start (it has no
  // unwind information), so every one ends here.
  try {
    static_cast<thread*>(self)->run();
  } catch (...) {
  }
  return 0;
}

} // namespace qiv
