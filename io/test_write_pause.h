// A pause before every change the program makes to a file, for tests that
// kill the process in the middle of a tag write: without it the changes of
// one write follow each other within microseconds, and a kill at a random
// moment lands before or after all of them. Set ZORV_TEST_WRITE_PAUSE_MS to
// the pause in milliseconds; unset, nothing pauses.
#pragma once

#include <cstdint>

namespace vantrel_io {

void pause_before_file_change() noexcept;

// With the pause set, the most a write at `position` into a file that was
// there before may put down before the next pause: up to the next page
// boundary, as the system itself may stop a killed process's write there.
// Unset, no limit.
std::uint32_t test_write_piece_limit(std::uint64_t position) noexcept;

}  // namespace vantrel_io
