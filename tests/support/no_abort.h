// The abort signal of the reads and writes no test aborts.
#pragma once

#include "core/abort_signal.h"

namespace test_support {

inline const abort_signal& no_abort() { return never_raised_abort_signal(); }

}  // namespace test_support
