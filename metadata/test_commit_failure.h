// A failure of a metadata operation's end, for tests of what the user is
// told then: storing what was read runs out of memory only on a selection
// whose tags fill a 32-bit process, which takes minutes and gigabytes to
// make. Set ZORV_TEST_INFO_COMMIT_FAILS to n, and the n-th operation of the
// process to end runs out of memory as it stores what it read; unset,
// nothing fails.
#pragma once

// Throws std::bad_alloc at the end the variable names.
void fail_storing_info_if_asked();
