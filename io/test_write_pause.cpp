#include "io/test_write_pause.h"

#include <windows.h>

#include <cstdlib>

namespace vantrel_io {

namespace {

DWORD pause_milliseconds() noexcept {
  const char* text = std::getenv("ZORV_TEST_WRITE_PAUSE_MS");
  return text == nullptr ? 0 : static_cast<DWORD>(std::strtoul(text, nullptr, 10));
}

}  // namespace

void pause_before_file_change() noexcept {
  static const DWORD pause = pause_milliseconds();
  if (pause != 0) Sleep(pause);
}

}  // namespace vantrel_io
