// The "file://" scheme: native files and folders. A bare Windows path
// (C:\Music\a.mp3) is claimed too, so that paths from users and old files
// reach the same handler.
#pragma once

#include "io/scheme_handler.h"

namespace vantrel_io {

// The registered static handler. Referring to it also keeps its registration
// in programs that link the file layer as a plain library.
scheme_handler& file_scheme_handler();

}  // namespace vantrel_io
