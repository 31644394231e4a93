// How many processors the process may run on, for sizing worker pools.
#pragma once

#include <cstdint>

namespace qiv {

// The processors in the process affinity mask; at least 1.
std::uint32_t cpu_count();

// The set bits among the low 32 of an affinity mask, or 1 when there are
// none: a pool must always have one worker.
std::uint32_t cpu_count_from_affinity(std::uint64_t affinity_mask);

} // namespace qiv
