// The clock every benchmark measures with: the performance counter, in seconds.
#pragma once

#include <windows.h>

namespace bench {

inline double now_seconds() {
  static const double ticks_per_second = [] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / ticks_per_second;
}

}  // namespace bench
