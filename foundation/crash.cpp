#include "foundation/crash.h"

#include <windows.h>

namespace qiv {

void crash() {
  RaiseException(crash_exception_code, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  // A non-continuable exception cannot resume here; should a handler try,
  // the process must still end rather than run on in a broken state.
  TerminateProcess(GetCurrentProcess(), crash_exception_code);
  for (;;) Sleep(INFINITE);
}

} // namespace qiv
