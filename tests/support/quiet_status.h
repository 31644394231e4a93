// The status of an operation run without its progress dialog.
#pragma once

#include "core/quiet_process_status.h"

namespace test_support {

using quiet_status = quiet_process_status;

}  // namespace test_support
