// How long a wait for a file that another program holds open for a moment
// (a sharing violation) sleeps between tries.
#pragma once

namespace vantrel_io {

constexpr double retry_step_seconds = 0.01;

}  // namespace vantrel_io
