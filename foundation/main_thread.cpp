#include "foundation/main_thread.h"

#include <atomic>

#include "foundation/crash.h"
#include "foundation/win32_text.h"

namespace {

std::atomic<DWORD> recorded_main_thread{0};

} // namespace

namespace qiv {

void set_main_thread_id(DWORD id) noexcept { recorded_main_thread.store(id); }

DWORD main_thread_id() noexcept { return recorded_main_thread.load(); }

} // namespace qiv

bool running_on_main_thread() noexcept {
  const DWORD main = qiv::main_thread_id();
  return main == 0 || main == GetCurrentThreadId();
}

bool is_main_thread() {
  if (running_on_main_thread()) return true;
  output_debug_string_utf8("This function can be called only from main thread.\n");
  return false;
}

void require_main_thread() {
  if (!is_main_thread()) qiv::crash();
}
