// The start of a time-out, measured in system ticks.
#pragma once

#include <cstdint>

namespace qiv {

struct timeout {
  std::uint32_t start_tick = 0;
  std::uint32_t reserved_1 = 0;
  std::uint32_t start_tick_again = 0;
  std::uint32_t reserved_2 = 0;

  // Records the current tick count (GetTickCount).
  void start();
};

} // namespace qiv
