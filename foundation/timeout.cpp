#include "foundation/timeout.h"

#include <windows.h>

namespace qiv {

void timeout::start() {
  const std::uint32_t now = GetTickCount();
  start_tick = now;
  reserved_1 = 0;
  start_tick_again = now;
  reserved_2 = 0;
}

} // namespace qiv
