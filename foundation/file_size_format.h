// File sizes for display in binary units: "500 B", "1.5 KB", "1023 KB".
#pragma once

#include <cstdint>

#include "foundation/string_buffer.h"

namespace qiv {

struct file_size_text {
  string_buffer text;
  // Bytes in the unit the text uses: 1, 1024, ... up to 1024^4.
  std::uint64_t unit_bytes;
};

// The largest unit from B to TB not above the size; at most three significant
// digits of the whole part and fraction together, the fraction truncated and
// without trailing zeros.
file_size_text format_file_size(std::uint64_t bytes);

} // namespace qiv
