#include "foundation/cpu_count.h"

#include <bit>

#include <windows.h>

namespace qiv {

std::uint32_t cpu_count() {
  DWORD_PTR process_mask = 0;
  DWORD_PTR system_mask = 0;
  // A failed query leaves the mask empty, which still gives one worker.
  GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask);
  return cpu_count_from_affinity(process_mask);
}

std::uint32_t cpu_count_from_affinity(std::uint64_t affinity_mask) {
  const int count = std::popcount(static_cast<std::uint32_t>(affinity_mask));
  return count == 0 ? 1 : static_cast<std::uint32_t>(count);
}

} // namespace qiv
