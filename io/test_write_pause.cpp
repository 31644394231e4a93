#include "io/test_write_pause.h"

#include <windows.h>

#include <cstdlib>

#include "io/in_place_overwrite.h"

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

std::uint32_t test_write_piece_limit(std::uint64_t position) noexcept {
  static const bool pausing = pause_milliseconds() != 0;
  if (!pausing) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(atomic_write_page - position % atomic_write_page);
}

}  // namespace vantrel_io
