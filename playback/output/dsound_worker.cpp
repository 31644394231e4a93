#include "playback/output/dsound_worker.h"

#include <objbase.h>
#include <process.h>

#include <utility>
#include <vector>

#include "playback/output/dsound_stream.h"

namespace {

struct worker_state {
  critical_section lock;
  std::vector<output_dsound_stream*> streams;
  HANDLE thread = nullptr;  // null when no thread feeds
  // A thread that has left its loop but may still be releasing COM: it
  // counts as running until it has returned, so that nothing it still uses
  // is torn down under it (process exit, above all).
  HANDLE ending = nullptr;
  bool stop = false;
};

worker_state& dsound_worker_state() noexcept {
  static worker_state instance;
  return instance;
}

// Runs one pass; answers false when the thread is to end.
bool run_pass(worker_state& s) {
  critical_section_lock hold(s.lock);
  for (std::size_t i = 0; i < s.streams.size();) {
    if (dsound_worker_access::update(*s.streams[i])) {
      ++i;
      continue;
    }
    dsound_worker_access::destroy(s.streams[i]);
    s.streams.erase(s.streams.begin() + static_cast<std::ptrdiff_t>(i));
    if (s.streams.empty()) {
      // The slot is cleared under the lock, so the next stream created
      // starts a new thread rather than relying on this ending one.
      s.ending = std::exchange(s.thread, nullptr);
      return false;
    }
  }
  return !s.stop;
}

unsigned __stdcall feeding_thread(void*) {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  // Nothing may leave a thread entry; a failure here ends feeding, and the
  // streams' owners see their audio stop being taken.
  try {
    const bool com = SUCCEEDED(CoInitialize(nullptr));
    worker_state& s = dsound_worker_state();
    if (com) {
      bool stopping;
      {
        critical_section_lock hold(s.lock);
        stopping = s.stop;
      }
      while (!stopping && run_pass(s)) SleepEx(10, TRUE);
      CoUninitialize();
    } else {
      // Without COM no device opens; the next stream tries a new thread.
      critical_section_lock hold(s.lock);
      s.ending = std::exchange(s.thread, nullptr);
    }
  } catch (...) {
  }
  return 0;
}

// Waits, outside the lock (the thread may still need it), for a thread that
// has left its loop, and forgets it.
void finish_ending_thread(worker_state& s) noexcept {
  HANDLE ending;
  {
    critical_section_lock hold(s.lock);
    ending = std::exchange(s.ending, nullptr);
  }
  if (!ending) return;
  WaitForSingleObject(ending, INFINITE);
  CloseHandle(ending);
}

// Process exit: the thread is stopped before the statics it uses go.
struct shutdown_at_exit {
  // The state is built first, so it is destroyed after this runs.
  shutdown_at_exit() { dsound_worker_state(); }
  ~shutdown_at_exit() { dsound_worker::shutdown(); }
} shutdown_registration;

} // namespace

namespace dsound_worker {

critical_section& lock() noexcept { return dsound_worker_state().lock; }

void add(output_dsound_stream* stream) {
  worker_state& s = dsound_worker_state();
  finish_ending_thread(s);
  critical_section_lock hold(s.lock);
  s.streams.push_back(stream);
  if (s.thread || s.stop) return;
  const auto handle = _beginthreadex(nullptr, 0, feeding_thread, nullptr, 0, nullptr);
  if (handle == 0) {
    s.streams.pop_back();
    throw std::bad_alloc();
  }
  s.thread = reinterpret_cast<HANDLE>(handle);
}

bool is_running() noexcept {
  worker_state& s = dsound_worker_state();
  critical_section_lock hold(s.lock);
  return s.thread != nullptr || (s.ending && WaitForSingleObject(s.ending, 0) == WAIT_TIMEOUT);
}

void shutdown() noexcept {
  worker_state& s = dsound_worker_state();
  HANDLE thread = nullptr;
  {
    critical_section_lock hold(s.lock);
    s.stop = true;
    if (s.thread)
      DuplicateHandle(GetCurrentProcess(), s.thread, GetCurrentProcess(), &thread, 0, FALSE, DUPLICATE_SAME_ACCESS);
  }
  // Outside the lock: the thread needs it to finish its pass.
  if (thread) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  finish_ending_thread(s);
  critical_section_lock hold(s.lock);
  if (s.thread) CloseHandle(s.thread);
  s.thread = nullptr;
  for (output_dsound_stream* stream : s.streams) dsound_worker_access::destroy(stream);
  s.streams.clear();
  // A stream made later (a playback front end brought up again) gets a
  // thread of its own as before.
  s.stop = false;
}

} // namespace dsound_worker
