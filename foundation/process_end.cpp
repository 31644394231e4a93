#include "foundation/process_end.h"

#include <windows.h>

#include <cstdio>

namespace qiv {

void end_process_now(int code) noexcept {
  std::fflush(nullptr);
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
  ExitProcess(static_cast<UINT>(code));
}

} // namespace qiv
