// The steps of a tag write that follow its switch: the change after which
// every reader reads the new tags (a header naming the new element, the move
// of a new file into place). A failure there leaves the new tags in force,
// and must not reach the caller as a write that did not happen.
#pragma once

namespace vantrel_io {

// Called inside a catch block of a step after the switch: throws
// exception_io_after_tags_written with the text of the failure being
// handled. One already of that class, or no std::exception, passes as it is.
[[noreturn]] void rethrow_after_tags_switch();

// Runs `steps`, all of which follow the switch.
template <class Steps>
void after_tags_switch(Steps&& steps) {
  try {
    steps();
  } catch (...) {
    rethrow_after_tags_switch();
  }
}

}  // namespace vantrel_io
