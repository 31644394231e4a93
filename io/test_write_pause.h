// A pause before every change the program makes to a file, for tests that
// kill the process in the middle of a tag write: without it the changes of
// one write follow each other within microseconds, and a kill at a random
// moment lands before or after all of them. Set ZORV_TEST_WRITE_PAUSE_MS to
// the pause in milliseconds; unset, nothing pauses.
#pragma once

namespace vantrel_io {

void pause_before_file_change() noexcept;

}  // namespace vantrel_io
