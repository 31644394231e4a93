#include "foundation/work_steps.h"

namespace qiv {

namespace {
// A plain number: no destructor runs at thread exit.
thread_local std::uint64_t steps_taken = 0;
}  // namespace

void count_work_steps(std::size_t steps) noexcept { steps_taken += steps; }

std::uint64_t work_steps_on_this_thread() noexcept { return steps_taken; }

}  // namespace qiv
