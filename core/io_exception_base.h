// The root of the file layer's exception family, and the cancellation
// exception. They live below the file layer because the abort signal, which
// core code already uses, throws exception_aborted; the file layer derives
// its other I/O exceptions from exception_io.
#pragma once

#include "foundation/exceptions.h"

namespace vantrel_io {

// Any failure to read, write or reach a file.
class exception_io : public qiv::exception_with_message {
public:
  using qiv::exception_with_message::exception_with_message;
};

// The user (or the program shutting down) cancelled the operation. Kept out
// of the exception_io family on purpose: code that tolerates I/O failures by
// catching exception_io must not swallow a cancellation.
class exception_aborted : public qiv::exception_with_message {
public:
  exception_aborted() noexcept : qiv::exception_with_message("User abort") {}
};

} // namespace vantrel_io
