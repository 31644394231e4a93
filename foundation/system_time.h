// The current time as a Windows file time (100 ns units since 1601, UTC),
// the unit in which file timestamps and info read times are kept.
#pragma once

#include <windows.h>

#include <cstdint>

namespace qiv {

inline std::uint64_t system_time_now() noexcept {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

}  // namespace qiv
