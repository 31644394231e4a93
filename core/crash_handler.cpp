// The one place every crash ends: an exception that nothing handled on any
// thread, and the fatal internal error (qiv::crash) that the terminate handler
// raises for a C++ exception that escaped.
#include <windows.h>

#include "core/app_state.h"
#include "core/crash_dump.h"
#include "core/startup_services.h"

namespace crash_handler {

namespace {

LONG WINAPI crash_filter(EXCEPTION_POINTERS* pointers) {
  // A debugger gets the exception itself; a dump would only be in its way.
  if (IsDebuggerPresent()) return EXCEPTION_CONTINUE_SEARCH;
  crash_dump_write(pointers);
  // The exception code as exit code: whoever started the program must see
  // that it failed, and which way.
  DWORD code = 0;
  if (pointers != nullptr && pointers->ExceptionRecord != nullptr) code = pointers->ExceptionRecord->ExceptionCode;
  TerminateProcess(GetCurrentProcess(), code != 0 ? code : 1);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void install() {
  const app::process_state& s = app::state();
  crash_dump_prepare(s.profile_path.get_ptr(), s.profile_read_only);
  SetUnhandledExceptionFilter(crash_filter);
}

}  // namespace crash_handler
