// A failure injected into one of the changes the program makes to a file,
// for tests that check that a write failing at any step (a write, a flush,
// a cut or a growth of the file, the move of a new file into place) ends
// in an I/O error with the file as it was and the writer usable. Set
// ZORV_TEST_WRITE_FAULT_AT to N, or arm it from a test in the process, and
// the Nth change from then on fails ("I/O error #1117") before it is made.
// Unset and unarmed, nothing fails.
#pragma once

#include <cstdint>

namespace vantrel_io {

// Called before each change of a file: throws when this is the change armed
// to fail.
void fail_if_test_write_fault();

// The `nth` change from now on (1: the next) fails, and the count of changes
// starts again; 0 disarms and keeps the count.
void arm_test_write_fault(std::uint32_t nth) noexcept;

// The changes counted while armed since the last arming, the failed one
// included.
std::uint32_t test_write_changes_counted() noexcept;

}  // namespace vantrel_io
