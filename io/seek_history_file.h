// Backward seeks on streams that cannot seek. A seek-history file wraps a
// remote stream and keeps the last 16 KiB read from it, so that a format
// parser may step back within them; a seek further back starts the stream
// again (or seeks it, when it can) and reads forward to the wanted byte.
// It is read-only.
#pragma once

#include "io/file_object.h"

namespace vantrel_io {

class seek_history_file {
public:
  static constexpr std::uint32_t history_capacity = 16384;

  // Replaces a remote file by a seek-history file over it; a local file is
  // left as it is.
  static void wrap_if_remote(file_ptr& file);
};

}  // namespace vantrel_io
