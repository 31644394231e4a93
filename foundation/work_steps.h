// A count, kept per thread, of the steps taken by loops whose length a file
// chooses (names compared, entries visited). Tests read it around a call to
// tell work that grows in step with the input from work that grows with its
// square, without timing anything on a busy machine.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qiv {

void count_work_steps(std::size_t steps) noexcept;
std::uint64_t work_steps_on_this_thread() noexcept;

}  // namespace qiv
